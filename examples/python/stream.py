#!/usr/bin/env python3
"""Streams from a Quorix camera: prints the depth at the image centre for a few frame sets
and saves one point cloud as a binary little-endian PLY (float x y z, millimetres).

    python3 stream.py [URI] [--frames N] [--out points.ply] [--wait SECONDS]

Without a URI (or alias) it takes the first camera found.
"""

import argparse
import sys

import numpy as np

import quorix


def save_ply(path: str, points: np.ndarray) -> None:
    header = (
        "ply\nformat binary_little_endian 1.0\n"
        f"element vertex {len(points)}\n"
        "property float x\nproperty float y\nproperty float z\nend_header\n"
    )
    with open(path, "wb") as out:
        out.write(header.encode("ascii"))
        out.write(points.astype("<f4").tobytes())


def centre_depth(depth: quorix.Frame) -> str:
    """Median of the valid depths in the 9 x 9 pixels at the image centre."""
    y, x = depth.height // 2, depth.width // 2
    window = depth.data[y - 4 : y + 5, x - 4 : x + 5]
    valid = window[quorix.valid_depth(window)]
    return f"{int(np.median(valid))} mm" if valid.size else "no valid depth"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("uri", nargs="?", help="camera URI or alias (default: the first found)")
    parser.add_argument("--frames", type=int, default=5, help="frame sets to read")
    parser.add_argument("--out", default="points.ply", help="where the point cloud goes")
    parser.add_argument("--wait", type=float, default=5.0, help="seconds to wait for the camera")
    args = parser.parse_args()

    with quorix.Library() as lib:
        try:
            camera = lib.wait_for(args.uri, timeout=args.wait)
        except quorix.CameraNotFound as error:
            print(f"{error}\nNo camera? Start a simulated one in another terminal:\n"
                  "  quorix-camsim --address 127.0.0.2 --model TK5P --serial QX1",
                  file=sys.stderr)
            return 3
        print(f"{camera.uri} ({camera.model or camera.device_type})")

        with lib.open(camera) as device, device[0].stream() as session:
            depth = None
            for frames in session.frames(count=args.frames, timeout_ms=2000):
                if frames.depth is not None:
                    depth = frames.depth
                    print(f"frame {depth.index}: centre {centre_depth(depth)}")
            if depth is None:
                print("no depth frames came (is the camera in an IR-only data mode?)",
                      file=sys.stderr)
                return 1
            points = session.point_cloud(depth)
        save_ply(args.out, points)
        print(f"{len(points)} points written to {args.out}")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (quorix.QuorixError, quorix.LibraryNotFound) as error:
        print(f"error: {error}", file=sys.stderr)
        sys.exit(1)
