"""The module object: its contents, their order, the interpreter check, and call sequences that must not crash it."""

import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

import velmorqrk

MEMBERS = ["UNKNOWN", "ALL", "ARMS", "ARM_1", "ARM_2", "EXT_AXIS"]


def test_module_identity_and_docstring():
    assert velmorqrk.__name__ == "velmorqrk"
    assert velmorqrk.__doc__ == "Velmor Quartz Relay Kit (QRK)"
    assert Path(velmorqrk.__file__).name.startswith(f"velmorqrk.cpython-{sys.version_info[0]}{sys.version_info[1]}")


def test_module_defines_exactly_its_types_in_registration_order():
    public = [name for name in vars(velmorqrk) if not name.startswith("__")]
    assert public == ["JointGroup", *MEMBERS, "RobotStates", "RobotActions", "PrimitiveStates",
                      "PlanInfo", "Client"]
    for name in ("RobotStates", "RobotActions", "PrimitiveStates", "PlanInfo", "Client"):
        assert getattr(velmorqrk, name).__module__ == "velmorqrk"
    assert not hasattr(velmorqrk, "__version__")


def _other_interpreters():
    """The newest installed patch release of every other CPython minor version under pyenv."""
    root = Path(os.environ.get("PYENV_ROOT", os.path.expanduser("~/.pyenv"))) / "versions"
    newest = {}
    for python in root.glob("3.*/bin/python"):
        version = tuple(int(part) for part in python.parent.parent.name.split(".") if part.isdigit())
        other = version[:2] != sys.version_info[:2]
        if len(version) == 3 and other and version > newest.get(version[:2], ((0,), None))[0]:
            newest[version[:2]] = (version, python)
    return [pytest.param(python, id=".".join(map(str, version))) for version, python in newest.values()]


OTHER_INTERPRETERS = _other_interpreters()


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
    # The cpython-3XY tag hides the file from other interpreters; a bare name
    # makes them load it and run the module's own check.
    # The loader looks for the runtime library beside the link ($ORIGIN is
    # the link's folder), as it would beside a copy.
    (tmp_path / "velmorqrk.so").symlink_to(velmorqrk.__file__)
    (tmp_path / "velmorqrk_runtime").symlink_to(Path(velmorqrk.__file__).with_name("velmorqrk_runtime"))
    done = subprocess.run([str(python), "-I", "-c", _CHILD, str(tmp_path)],
                          capture_output=True, text=True, timeout=60, check=True)
    error, version, left_behind = json.loads(done.stdout)
    assert not left_behind
    if "undefined symbol" in (error or ""):
        return  # this interpreter's loader refuses the file before the module's code runs
    built_for = f"{sys.version_info[0]}.{sys.version_info[1]}"
    assert error == (f"Python version mismatch: module was compiled for Python {built_for}, but the "
                     f"interpreter version is incompatible: {version}.")



# Every case runs in a fresh interpreter, so that a crash fails its case
# instead of ending the run. The child binds `cls` and `make` (a working
# instance), runs the sequence and prints one line per step: the step and what
# it returned or raised.
_SEQUENCE_CHILD = """
import copy, pickle, velmorqrk
cls = velmorqrk.{cls}
make = {make}

def step(name, action):
    try:
        result = action()
        outcome = "ok"
    except Exception as error:
        outcome = type(error).__name__
    print(name, outcome, flush=True)

def uses(obj):
    # Every way to touch an instance: each method, each property read and
    # write (with a value a working instance holds), repr and str.
    yield "repr", lambda: repr(obj)
    yield "str", lambda: str(obj)
    sample = make()
    for name, attr in vars(cls).items():
        if name in ("__doc__", "__members__") or name.startswith("_pybind11"):
            continue  # about the class, not the instance
        if isinstance(attr, property):
            yield f"read {{name}}", lambda name=name: getattr(obj, name)
            if attr.fset is not None:
                yield f"write {{name}}", lambda name=name: setattr(obj, name, getattr(sample, name))
        elif callable(attr) and name not in ("__init__", "__new__", "__setstate__", "__reduce__",
                                             "__init_subclass__", "__subclasshook__", "__class_getitem__"):
            yield f"call {{name}}", lambda name=name: getattr(obj, name)()
    yield "hash", lambda: hash(obj)
    yield "eq", lambda: obj == sample

{sequence}
print("end", flush=True)
"""

_SEQUENCES = {
    # An instance made by __new__ alone, never initialised.
    "new-without-init": """
for name, action in uses(cls.__new__(cls)):
    step(name, action)
""",
    # A subclass whose __init__ forgets the base's: construction fails.
    "subclass-without-base-init": """
class Sub(cls):
    def __init__(self):
        pass
step("construct", Sub)
""",
    "pickle-every-protocol": """
obj = make()
for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
    step(f"pickle {{protocol}}", lambda: pickle.loads(pickle.dumps(obj, protocol)))
    step(f"reduce_ex {{protocol}}", lambda: obj.__reduce_ex__(protocol))
""",
    "copy-and-deepcopy": """
obj = make()
step("copy", lambda: copy.copy(obj))
step("deepcopy", lambda: copy.deepcopy(obj))
""",
    "subclass-pickle": """
class Sub(cls):
    pass
obj = cls.__new__(Sub)
for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
    step(f"pickle {{protocol}}", lambda: pickle.dumps(obj, protocol))
""",
    # pybind11's common base class, reached through the class hierarchy.
    "base-class": """
base = cls.__base__
step("base()", base)
step("base.__new__", lambda: base.__new__(base))
step("derived from base", lambda: type("Derived", (base,), {{}})())
""",
}

# A Client cannot be made working here (no robot), so its stand-in is another
# uninitialised one; a connected one is pickled in the end-to-end tests.
_MAKERS = {"Client": "lambda: cls.__new__(cls)", "JointGroup": "lambda: velmorqrk.JointGroup.ARMS",
           **{name: "cls" for name in ("RobotStates", "RobotActions", "PrimitiveStates", "PlanInfo")}}


# object's own repr, hash and == never reach the C++ object: the records have
# no others, Client has its own repr only, JointGroup has all three.
_OBJECT_STEPS = {"Client": {"hash", "eq"}, "JointGroup": set()}


def _expected(cls, sequence, step):
    if sequence in ("pickle-every-protocol", "copy-and-deepcopy") and cls == "JointGroup":
        return "ok"
    if sequence == "new-without-init" and step in _OBJECT_STEPS.get(cls, {"repr", "str", "hash", "eq"}):
        return "ok"
    return "TypeError"


@pytest.mark.parametrize("sequence", _SEQUENCES)
@pytest.mark.parametrize("cls", _MAKERS)
def test_no_call_sequence_crashes_the_interpreter(cls, sequence):
    code = _SEQUENCE_CHILD.format(cls=cls, make=_MAKERS[cls], sequence=_SEQUENCES[sequence])
    child = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert child.returncode == 0 and child.stdout.endswith("end\n"), child.stdout + child.stderr
    steps = [line.rsplit(" ", 1) for line in child.stdout.splitlines()[:-1]]
    assert steps
    unexpected = [(step, outcome) for step, outcome in steps if outcome != _expected(cls, sequence, step)]
    assert not unexpected, child.stdout
