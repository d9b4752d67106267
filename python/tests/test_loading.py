"""Finding libquorix_api.so.3, each case in a fresh interpreter."""

import os
import pathlib
import shutil
import subprocess
import sys

import pytest

from conftest import ROOT

PACKAGE = ROOT / "python" / "quorix"
LIBRARY = os.environ.get("QUORIX_LIBRARY", str(ROOT / "build" / "src" / "libquorix_api.so.3"))

PROBE = """
import quorix
from quorix import _native
try:
    print(quorix.sdk_version(), _native.api().path)
except quorix.LibraryNotFound as error:
    print(error)
    raise SystemExit(2)
"""


def run(package_parent: pathlib.Path, **env):
    clean = {k: v for k, v in os.environ.items() if k not in ("QUORIX_LIBRARY", "LD_LIBRARY_PATH")}
    clean.update(env, PYTHONPATH=str(package_parent), PYTHONDONTWRITEBYTECODE="1")
    return subprocess.run([sys.executable, "-c", PROBE], env=clean, capture_output=True,
                          text=True, timeout=60)


def system_has_library() -> bool:
    # In a fresh process: this one may hold the library already, which the loader matches
    # by its soname.
    env = {k: v for k, v in os.environ.items() if k != "LD_LIBRARY_PATH"}
    code = "import ctypes; ctypes.CDLL('libquorix_api.so.3')"
    return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True).returncode == 0


def install_package(site: pathlib.Path, library_dir) -> None:
    """The package as an install lays it out under `site`, with its layout file."""
    shutil.copytree(PACKAGE, site / "quorix", ignore=shutil.ignore_patterns("__pycache__"))
    value = "None" if library_dir is None else repr(library_dir)
    (site / "quorix" / "_layout.py").write_text(f"LIBRARY_DIR = {value}\n")


def test_quorix_library_is_used_and_a_wrong_one_is_reported_alone(tmp_path):
    good = run(PACKAGE.parent, QUORIX_LIBRARY=LIBRARY)
    assert good.returncode == 0, good.stdout + good.stderr
    assert good.stdout.split() == ["3.4.4", LIBRARY]

    missing = tmp_path / "nowhere" / "libquorix_api.so.3"
    bad = run(PACKAGE.parent, QUORIX_LIBRARY=str(missing))
    assert bad.returncode == 2, bad.stdout + bad.stderr
    assert f"QUORIX_LIBRARY: {missing}" in bad.stdout
    assert "system loader" not in bad.stdout  # an explicit path is not second-guessed


def test_an_installed_package_finds_the_library_of_its_prefix(tmp_path):
    prefix = tmp_path / "prefix"
    site = prefix / "lib" / "python3" / "dist-packages"
    site.mkdir(parents=True)
    install_package(site, os.path.join("..", "..", ".."))
    shutil.copy(LIBRARY, prefix / "lib" / "libquorix_api.so.3")
    found = run(site)
    assert found.returncode == 0, found.stdout + found.stderr
    assert found.stdout.split()[1] == str(prefix / "lib" / "libquorix_api.so.3")


def test_without_a_library_the_message_lists_every_place_and_what_to_set(tmp_path):
    if system_has_library():
        pytest.skip("the system loader finds an installed libquorix_api.so.3")
    site = tmp_path / "site"
    site.mkdir()
    install_package(site, "../../lib")
    failed = run(site)
    assert failed.returncode == 2, failed.stdout + failed.stderr
    message = failed.stdout
    assert "cannot load libquorix_api.so.3" in message
    assert f"installed beside this package: {tmp_path / 'lib' / 'libquorix_api.so.3'}" in message
    assert "system loader: libquorix_api.so.3" in message
    assert "Set QUORIX_LIBRARY" in message


def test_the_package_imports_without_the_library():
    # Version and enums are there before any library is needed.
    code = "import quorix; print(quorix.__version__, int(quorix.Status.FRAME_TIMEOUT))"
    env = {k: v for k, v in os.environ.items() if k != "QUORIX_LIBRARY"}
    env.update(PYTHONPATH=str(PACKAGE.parent), QUORIX_LIBRARY="/nonexistent/libquorix_api.so.3")
    done = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True,
                          timeout=60)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == ["3.4.4", "-11"]
