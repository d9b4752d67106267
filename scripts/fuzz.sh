#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (installed when missing) in
# build-fuzz and runs each for SECONDS (default 60) on its committed corpus. New inputs go
# to build-fuzz/corpus/<target>; with --keep they are merged back into tests/fuzz/corpus.
# Crash, leak and time-out inputs are copied into tests/fuzz/crashes/<target>/. With
# --runs N a target also stops after N executions (a campaign: --runs 10000000 1800).
#
#   scripts/fuzz.sh [--keep] [--runs N] [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

keep=0
seconds=60
runs=-1
targets=()
while [ $# -gt 0 ]; do
  arg=$1
  shift
  case "$arg" in
    --keep) keep=1 ;;
    --runs) runs=${1:?--runs needs a count}; shift ;;
    -h|--help) sed -n '2,8p' "$0"; exit 0 ;;
    ''|*[!0-9]*) targets+=("$arg") ;;
    *) seconds=$arg ;;
  esac
done
if [ ${#targets[@]} -eq 0 ]; then
  targets=(announcement command_reply frame_walk tof_decode tof_unpack stream_blocks ini colour
    recording)
fi

scripts/install-deps.sh
# A clang that knows std::source_location (15 or later) and its libFuzzer runtime (a
# package of its own on Debian 12, whose default clang 14 is too old).
find_clang() {
  for v in 19 18 17 16 15; do
    if command -v "clang++-$v" >/dev/null &&
        compgen -G "/usr/lib/llvm-$v/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; then
      echo "$v"
      return
    fi
  done
}
version=$(find_clang)
if [ -z "$version" ]; then
  scripts/install-deps.sh clang-16 libclang-rt-16-dev
  version=16
fi

build=build-fuzz
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang-$version CXX=clang++-$version cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORIX_FUZZ=ON -DQUORIX_BUILD_TESTS=OFF -DQUORIX_WERROR=OFF
fi
nice -n 10 cmake --build "$build" --target "${targets[@]/#/fuzz_}"

# Work in a scratch folder: the decoders may write dumps of bad records into the working
# directory, and libFuzzer writes its artifacts there.
work=$root/$build/work
mkdir -p "$work"
results=()
for t in "${targets[@]}"; do
  scratch=$root/$build/corpus/$t
  artifacts=$work/$t/
  mkdir -p "$scratch" "$artifacts"
  log=$work/$t.log
  echo "== $t: ${seconds} s$([ "$runs" -ge 0 ] && echo " or $runs executions")"
  set +e
  (cd "$work" && nice -n 10 "$root/$build/tests/fuzz/fuzz_$t" "$scratch" "$root/tests/fuzz/corpus/$t" \
    -max_total_time="$seconds" -runs="$runs" -timeout=25 -rss_limit_mb=4096 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$artifacts" >"$log" 2>&1)
  status=$?
  set -e
  crashes=0
  for f in "$artifacts"crash-* "$artifacts"leak-* "$artifacts"timeout-* "$artifacts"oom-* "$artifacts"slow-unit-*; do
    [ -e "$f" ] || continue
    cp "$f" "$root/tests/fuzz/crashes/$t/"
    crashes=$((crashes + 1))
  done
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  newcov=$(grep -o 'stat::new_units_added: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || true)
  results+=("$t|${execs:-?}|${newcov:-?}|${cov:-?}|$crashes|$status")
  if [ "$keep" = 1 ]; then
    "$root/$build/tests/fuzz/fuzz_$t" -merge=1 "$root/tests/fuzz/corpus/$t" "$scratch" \
      >"$work/$t.merge.log" 2>&1 || echo "merge of $t failed: see $work/$t.merge.log"
  fi
done

printf '\n%-14s %12s %9s %6s %8s  %s\n' target executions new-units edges crashes exit
for r in "${results[@]}"; do
  IFS='|' read -r t e n c k s <<<"$r"
  printf '%-14s %12s %9s %6s %8s  %s\n' "$t" "$e" "$n" "$c" "$k" "$s"
done
echo "logs: $work/<target>.log; crash inputs: tests/fuzz/crashes/<target>/"
