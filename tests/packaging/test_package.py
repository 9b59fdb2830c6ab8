"""The installed C++ package (scripts/test-package; under qemu, scripts/test-aarch64): its files, that it stands
apart from the build machine's tree, its programs, and examples/cpp built against it alone."""

import os
import platform
import re
from pathlib import Path

import pytest

from peer_host import RobotServer
from shipped import ROOT, elf_machine, emulated, given, run

PUBLIC_HEADER_FOLDERS = ("client/include", "records/include", "messages/include")
PROGRAMS_AND_LIBRARY = ("bin/qrk", "bin/qrk-sim", "lib/libvelmor_runtime.so")


@pytest.fixture(scope="module")
def prefix():
    return given("VELMOR_PACKAGE_PREFIX")


def test_installs_the_libraries_programs_and_package_files(prefix):
    wanted = ["lib/libvelmorqrk.a", *PROGRAMS_AND_LIBRARY, "lib/cmake/velmorqrk/velmorqrkConfig.cmake",
              "lib/cmake/velmorqrk/velmorqrkConfigVersion.cmake", "lib/cmake/velmorqrk/velmorqrkTargets.cmake"]
    assert [name for name in wanted if not (prefix / name).is_file()] == []


def test_installs_the_public_headers_and_nothing_else(prefix):
    public = sorted(str(h.relative_to(ROOT / folder)) for folder in PUBLIC_HEADER_FOLDERS
                    for h in (ROOT / folder).rglob("*.hpp"))
    installed = sorted(str(h.relative_to(prefix / "include")) for h in (prefix / "include").rglob("*") if h.is_file())
    assert installed == public


def test_package_files_do_not_point_into_the_build_machine(prefix):
    # A package that still points into this tree or the shared cargo folder would only work on this machine.
    tree_paths = (str(ROOT), str(Path.home() / ".cache"))
    pointing = [str(f) for f in (prefix / "lib/cmake").rglob("*") if f.is_file()
                and any(p in f.read_text(errors="replace") for p in tree_paths)]
    assert pointing == []


def test_programs_and_runtime_library_are_built_for_the_package_architecture(prefix):
    wanted = os.environ.get("VELMOR_PACKAGE_ARCH", platform.machine())
    assert {name: elf_machine(prefix / name) for name in PROGRAMS_AND_LIBRARY} == dict.fromkeys(
        PROGRAMS_AND_LIBRARY, wanted)


def test_installed_qrk_prints_the_project_version(prefix):
    project_version = re.search(r"project\(velmorqrk VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text())[1]
    assert run(emulated([prefix / "bin/qrk", "--version"])).strip() == f"qrk {project_version}"


def test_example_built_against_the_package_reads_its_simulator(prefix):
    serial = "PK-12-345"
    example = given("VELMOR_PACKAGE_EXAMPLE")
    with RobotServer(emulated([prefix / "bin/qrk-sim", "--serial", serial, "--rate", 200]), ready_within=60):
        printed = run(emulated([example, serial])).splitlines()
    assert any(line.startswith("group 3: ARM_1") for line in printed), printed
    assert any(line.startswith("plan: ") for line in printed), printed
