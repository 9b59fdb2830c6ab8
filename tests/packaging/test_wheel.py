"""An installed wheel (scripts/test-wheel runs this in a fresh venv of the wheel's Python, holding the wheel and the
test tools only): what it holds and declares, what its binaries need of the system, its programs, its stub under
mypy, and the same wheel installed with `pip install --user`."""

import importlib.metadata
import subprocess
import sys
import sysconfig
import zipfile
from pathlib import Path

import pytest

from peer_host import RobotServer
from shipped import ROOT, given, platforms, run

VERSION = importlib.metadata.version("velmorqrk")
ABI = f"cp{sys.version_info[0]}{sys.version_info[1]}"
ARCH = sysconfig.get_platform().rsplit("-", 1)[-1]
# On every Linux system, or in the wheel.
SYSTEM_LIBRARIES = {"libc.so.6", "libm.so.6", "libdl.so.2", "librt.so.1", "libutil.so.1", "libpthread.so.0",
                    "libgcc_s.so.1", "libstdc++.so.6", "ld-linux-x86-64.so.2", "ld-linux-aarch64.so.1",
                    "libvelmor_runtime.so"}


@pytest.fixture(scope="module")
def wheel():
    return given("VELMOR_WHEEL")


def installed_module():
    # Found without importing it here: the tests beside these import it themselves.
    return Path(sysconfig.get_paths()["platlib"]) / f"velmorqrk.cpython-{ABI[2:]}-{ARCH}-linux-gnu.so"


def test_wheel_holds_the_module_stub_runtime_and_metadata_only(wheel):
    # auditwheel's repacking adds entries for the folders.
    names = {n for n in zipfile.ZipFile(wheel).namelist() if not n.endswith("/")}
    wanted = {installed_module().name, "velmorqrk-stubs/__init__.pyi", "velmorqrk_runtime/__init__.py",
              "velmorqrk_runtime/libvelmor_runtime.so", "velmorqrk_runtime/qrk", "velmorqrk_runtime/qrk-sim"}
    extra = {n for n in names - wanted if not n.startswith(f"velmorqrk-{VERSION}.dist-info/")}
    assert (sorted(wanted - names), sorted(extra)) == ([], [])


def test_wheel_declares_the_pythons_and_platforms_it_is_built_for(wheel):
    supported = platforms()
    metadata = importlib.metadata.metadata("velmorqrk")
    oldest, newest = supported["python"][0], supported["python"][-1]
    after_newest = f"3.{int(newest.split('.')[1]) + 1}"
    bounds = set(metadata["Requires-Python"].replace(" ", "").split(","))
    assert bounds == {f">={oldest}", f"<{after_newest}"}
    declared = {c.rsplit(" :: ", 1)[-1] for c in metadata.get_all("Classifier")
                if c.startswith("Programming Language :: Python :: 3.")}
    assert declared == set(supported["python"])
    assert f"{sys.version_info[0]}.{sys.version_info[1]}" in supported["python"]
    assert wheel.name.endswith(f"-{ABI}-{ABI}-manylinux_2_34_{ARCH}.whl") and ARCH in supported["arch"]


def test_module_imports_from_the_install_not_the_source_tree():
    imported = run([sys.executable, "-c", "import velmorqrk; print(velmorqrk.__file__)"], cwd=ROOT).strip()
    assert imported == str(installed_module())


def test_binaries_need_only_the_system_and_the_runtime_library():
    runtime = installed_module().with_name("velmorqrk_runtime")
    needs = {}
    for binary in (installed_module(), runtime / "qrk", runtime / "qrk-sim", runtime / "libvelmor_runtime.so"):
        dynamic = run(["readelf", "-d", binary])
        needs[binary.name] = {line.split("[", 1)[1].rstrip("]") for line in dynamic.splitlines() if "(NEEDED)" in line}
    assert {name: sorted(need - SYSTEM_LIBRARIES) for name, need in needs.items()} == dict.fromkeys(needs, [])
    assert all(needs.values())


def test_stub_type_checks_the_examples_and_a_users_code(tmp_path):
    # pyproject.toml gives the settings and no search path: mypy finds velmorqrk only through the installed stub.
    run([sys.executable, "-m", "mypy", "--strict", "--python-version", f"{sys.version_info[0]}.{sys.version_info[1]}",
         "--cache-dir", tmp_path, *sorted((ROOT / "examples").glob("*.py")), ROOT / "tests/python/typing_usage.py"],
        timeout=600)


def check_programs(bin_dir, python):
    """`bin_dir`'s qrk prints the version that the interpreter `python` sees installed, and lists `bin_dir`'s
    qrk-sim."""
    installed = run([python, "-c", "import importlib.metadata as m; print(m.version('velmorqrk'))"]).strip()
    assert run([bin_dir / "qrk", "--version"]).strip() == f"qrk {installed}"
    serial = "WH-12-345"
    with RobotServer([bin_dir / "qrk-sim", "--serial", serial, "--rate", 200]):
        assert serial in run([bin_dir / "qrk", "scan", "--seconds", 2])


def test_programs_on_the_venvs_path_are_the_wheels():
    check_programs(Path(sys.executable).parent, sys.executable)


def test_user_install_puts_module_and_programs_in_the_user_base(wheel, tmp_path, monkeypatch):
    if f"{sys.version_info[0]}.{sys.version_info[1]}" != platforms()["python"][0]:
        pytest.skip("checked on the wheel of the release the module is made for; the others install alike")
    # pip install --user puts the console scripts in the user base's bin/ and the package in its site-packages,
    # away from any venv: done by the interpreter the venv was made from.
    base_python = Path(sys.base_prefix) / "bin" / f"python{sys.version_info[0]}.{sys.version_info[1]}"
    user = tmp_path / "user"
    monkeypatch.setenv("PYTHONUSERBASE", str(user))
    run([base_python, "-m", "pip", "install", "-q", "--disable-pip-version-check", "--user", "--no-deps", wheel],
        timeout=300)
    where = "import velmorqrk; print(velmorqrk.__file__)"
    assert subprocess.run([base_python, "-s", "-c", where], capture_output=True).returncode != 0
    assert run([base_python, "-c", where]).startswith(str(user))
    check_programs(user / "bin", base_python)
