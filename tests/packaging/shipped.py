"""What the packaging checks share: the paths their scripts name, programs run under an emulator, ELF headers."""

import os
import struct
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
# e_machine of an ELF header, by the architecture names of cmake/platforms.txt.
ELF_MACHINES = {"x86_64": 62, "aarch64": 183}


def given(variable):
    """A path the calling script names in `variable`; missing, the test fails (a check must not pass unrun)."""
    if not os.environ.get(variable):
        pytest.fail(f"{variable} is not set: these checks run through the scripts that build what they check")
    return Path(os.environ[variable])


def emulated(argv):
    """`argv` under the emulator the calling script names in VELMOR_EMULATOR (qemu for aarch64 programs), or as
    it is."""
    emulator = os.environ.get("VELMOR_EMULATOR")
    return [emulator, *map(str, argv)] if emulator else [*map(str, argv)]


def run(argv, timeout=60, cwd=None):
    """Runs `argv` and returns its stdout; a failure shows both outputs."""
    done = subprocess.run([str(part) for part in argv], capture_output=True, text=True, timeout=timeout, cwd=cwd)
    assert done.returncode == 0, f"{argv} exited {done.returncode}:\n{done.stdout}\n{done.stderr}"
    return done.stdout


def elf_machine(path):
    """The architecture name of an ELF file's e_machine."""
    with open(path, "rb") as file:
        header = file.read(20)
    assert header[:4] == b"\x7fELF", f"{path} is not an ELF file"
    (machine,) = struct.unpack_from("<H", header, 18)
    return {number: name for name, number in ELF_MACHINES.items()}.get(machine, f"e_machine {machine}")


def platforms():
    """cmake/platforms.txt: {"python": [...], "arch": [...]}."""
    lines = (line.split() for line in (ROOT / "cmake/platforms.txt").read_text().splitlines())
    return {words[0]: words[1:] for words in lines if words and not words[0].startswith("#")}
