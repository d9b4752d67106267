"""examples/python/stream.py as a user runs it, against a simulated camera."""

import os
import subprocess
import sys

import numpy as np
import pytest

from conftest import ROOT

pytestmark = pytest.mark.camera

EXAMPLE = ROOT / "examples" / "python" / "stream.py"


def run_example(*args, cwd):
    env = dict(os.environ, PYTHONPATH=str(ROOT / "python"), PYTHONDONTWRITEBYTECODE="1")
    return subprocess.run([sys.executable, str(EXAMPLE), *args], cwd=cwd, env=env,
                          capture_output=True, text=True, timeout=120)


def read_ply(path):
    data = path.read_bytes()
    header, _, body = data.partition(b"end_header\n")
    lines = header.decode("ascii").splitlines()
    assert lines[:2] == ["ply", "format binary_little_endian 1.0"]
    assert lines[3:] == ["property float x", "property float y", "property float z"]
    count = int(lines[2].split()[-1])
    points = np.frombuffer(body, dtype="<f4")
    assert points.size == 3 * count, "the body does not hold the vertices the header says"
    return points.reshape(count, 3)


def test_the_example_prints_centre_depths_and_writes_a_point_cloud(camsim, tmp_path):
    camera = camsim(20, "EXAMPLE20")
    done = run_example(camera.uri, "--frames", "3", "--out", "cloud.ply", "--wait", "10",
                       cwd=tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr + camera.output()
    centres = [line for line in done.stdout.splitlines() if "centre" in line]
    assert len(centres) == 3 and all(line.endswith(" mm") for line in centres), done.stdout
    points = read_ply(tmp_path / "cloud.ply")
    assert len(points) > 1000 and (points[:, 2] > 0).all()


def test_the_example_without_a_camera_says_how_to_start_one(tmp_path):
    done = run_example("TK5P:NOTHERE", "--wait", "0.5", cwd=tmp_path)
    assert done.returncode == 3
    assert "no camera 'TK5P:NOTHERE' appeared" in done.stderr
    assert "quorix-camsim --address" in done.stderr
    assert not (tmp_path / "points.ply").exists()
