"""Shared fixtures: the package from this tree, the header, and simulated cameras.

Tests marked "camera" start quorix-camsim processes (QUORIX_CAMSIM, else the build tree's)
on loopback addresses 127.0.95.N, one N per test, and take UDP 9007 for discovery: run
them one suite at a time. QUORIX_LIBRARY names the library under test.
"""

import os
import pathlib
import subprocess
import sys
import time
from dataclasses import dataclass
from typing import List

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
HEADER = ROOT / "include" / "quorix" / "quorix_api.h"
sys.path.insert(0, str(ROOT / "python"))

import quorix  # noqa: E402


def pytest_configure(config):
    config.addinivalue_line("markers", "camera: starts simulated cameras, takes UDP 9007")


@pytest.fixture(scope="session")
def header_text() -> str:
    return HEADER.read_text()


@dataclass
class SimCamera:
    uri: str
    address: str
    process: subprocess.Popen
    log: pathlib.Path

    def output(self) -> str:
        return self.log.read_text(errors="replace")


_used_addresses = set()


@pytest.fixture
def camsim(tmp_path):
    """start(n, serial, *options) runs a simulated TK5P on 127.0.95.n (n unique per test in
    the run) and returns it; every camera started is killed at the end of the test."""
    program = os.environ.get("QUORIX_CAMSIM", str(ROOT / "build" / "tools" / "quorix-camsim"))
    if not os.access(program, os.X_OK):
        pytest.fail(f"no quorix-camsim at {program}: build it, or set QUORIX_CAMSIM")
    started: List[SimCamera] = []

    def start(n: int, serial: str, *options: str, sessions: int = 1) -> SimCamera:
        assert 1 <= n <= 239 and n not in _used_addresses, f"127.0.95.{n} is taken"
        _used_addresses.add(n)
        address = f"127.0.95.{n}"
        log = tmp_path / f"camsim-{n}.log"
        command = [program, "--address", address, "--model", "TK5P", "--serial", serial,
                   "--sessions", str(sessions), "--interval", "100", *options]
        with open(log, "wb") as out:
            process = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT)
        camera = SimCamera(f"TK5P:{serial}", address, process, log)
        started.append(camera)
        return camera

    yield start
    for camera in started:
        camera.process.kill()
        camera.process.wait(timeout=30)


@pytest.fixture
def lib():
    with quorix.Library() as library:
        yield library


def wait_listed(lib: quorix.Library, camera: SimCamera) -> quorix.DeviceInfo:
    """The camera's list entry once discovery has it (10 s at most)."""
    try:
        return lib.wait_for(camera.uri, timeout=10)
    except quorix.CameraNotFound as error:
        code = camera.process.poll()
        raise AssertionError(
            f"{error}\nquorix-camsim {'exited with ' + str(code) if code is not None else 'runs'}"
            f":\n{camera.output()}"
        ) from None


def wait_until(condition, timeout: float = 10.0, what: str = "condition") -> None:
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError(f"{what} not met within {timeout} s")
        time.sleep(0.02)
