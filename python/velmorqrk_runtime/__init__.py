"""qrk and qrk-sim as installed by the wheel: the programs lie in this folder beside libvelmor_runtime.so, which
they load through their RPATH ($ORIGIN), and pip's console scripts for them call these functions, which replace the
Python process with the program, so that its pid, signals and exit code are the program's own."""

import os
import sys
from pathlib import Path


def _exec(program: str) -> None:
    os.execv(Path(__file__).with_name(program), sys.argv)


def qrk() -> None:
    _exec("qrk")


def qrk_sim() -> None:
    _exec("qrk-sim")
