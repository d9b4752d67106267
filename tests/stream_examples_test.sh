#!/usr/bin/env bash
# Runs streaming examples against a quorix-camsim process: each must exit 0 and write a
# binary little-endian PLY of float x y z whose vertex count agrees with the file's size.
#   stream_examples_test.sh QUORIX_CAMSIM ADDRESS SERIAL WORK_DIR PROGRAM...
set -u
camsim=$1
address=$2
serial=$3
work=$4
shift 4
mkdir -p "$work"
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/support/camsim.sh"
camsim_start "$camsim" --address "$address" --model TK5P --serial "$serial" --interval 50

# The PLY's header as the examples write it, and as many bytes of points as it announces.
check_ply() {
    local file=$1 end header vertices expected size
    [ -s "$file" ] || { echo "$file is missing or empty"; return 1; }
    end=$(grep -a -b -o -m1 '^end_header$' "$file" | cut -d: -f1)
    [ -n "$end" ] || { echo "$file has no end_header line"; return 1; }
    header=$(head -c "$((end + 11))" "$file")
    vertices=$(sed -n 's/^element vertex \([0-9][0-9]*\)$/\1/p' <<<"$header")
    expected=$(printf '%s\n' ply 'format binary_little_endian 1.0' "element vertex $vertices" \
        'property float x' 'property float y' 'property float z' end_header)
    if [ -z "$vertices" ] || [ "$header" != "$expected" ]; then
        echo "unexpected header in $file:"
        echo "$header"
        return 1
    fi
    size=$(stat -c %s "$file")
    [ "$size" -eq "$((end + 11 + 12 * vertices))" ] ||
        { echo "$file: $vertices vertices after a header of $((end + 11)) bytes, but $size bytes"; return 1; }
    [ "$vertices" -gt 0 ] || { echo "$file holds no point"; return 1; }
    echo "$file: $vertices points"
}

for program in "$@"; do
    ply="$work/$(basename "$program").ply"
    rm -f "$ply"
    echo "\$ $program TK5P:$serial $ply"
    "$program" "TK5P:$serial" "$ply"
    code=$?
    [ "$code" -eq 0 ] || fail "$program ended with $code"
    check_ply "$ply" || fail "$program wrote a bad PLY"
done
camsim_check
echo "PASS"
