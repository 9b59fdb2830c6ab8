"""The module object: its contents, their order, and the interpreter check."""

import json
import os
import subprocess
from pathlib import Path

import pytest

import velmorqrk

MEMBERS = ["UNKNOWN", "ALL", "ARMS", "ARM_1", "ARM_2", "EXT_AXIS"]


def test_module_identity_and_docstring():
    assert velmorqrk.__name__ == "velmorqrk"
    assert velmorqrk.__doc__ == "Velmor Quartz Relay Kit (QRK)"
    assert Path(velmorqrk.__file__).name.startswith("velmorqrk.cpython-310")


def test_module_defines_exactly_its_types_in_registration_order():
    public = [name for name in vars(velmorqrk) if not name.startswith("__")]
    assert public == ["JointGroup", *MEMBERS, "RobotStates", "RobotActions", "PrimitiveStates",
                      "PlanInfo", "Client"]
    for name in ("RobotStates", "RobotActions", "PrimitiveStates", "PlanInfo", "Client"):
        assert getattr(velmorqrk, name).__module__ == "velmorqrk"
    assert not hasattr(velmorqrk, "__version__")


_PYENV = Path(os.path.expanduser("~/.pyenv/versions"))
OTHER_INTERPRETERS = [pytest.param(_PYENV / version / "bin" / "python", id=version)
                      for version in ("3.11.7", "3.12.1", "3.9.18")]


# Runs in the other interpreter: imports the module from argv[1] and reports
# the error text, that interpreter's version string and whether a module was
# left behind.
_CHILD = """
import json, sys
sys.path.insert(0, sys.argv[1])
try:
    import velmorqrk
    error = None
except ImportError as e:
    error = str(e)
print(json.dumps([error, sys.version, "velmorqrk" in sys.modules]))
"""


@pytest.mark.parametrize("python", OTHER_INTERPRETERS)
def test_other_interpreter_refuses_import_with_version_message(python, tmp_path):
    if not python.exists():
        pytest.skip(f"{python} not installed")
    # The cpython-310 tag hides the file from other interpreters; a bare name
    # makes them load it and run the module's own check.
    (tmp_path / "velmorqrk.so").symlink_to(velmorqrk.__file__)
    done = subprocess.run([str(python), "-I", "-c", _CHILD, str(tmp_path)],
                          capture_output=True, text=True, timeout=60, check=True)
    error, version, left_behind = json.loads(done.stdout)
    assert error == ("Python version mismatch: module was compiled for Python 3.10, but the "
                     f"interpreter version is incompatible: {version}.")
    assert not left_behind

