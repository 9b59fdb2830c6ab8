"""The record classes' fields as the stub declares them, in field order: name, rendered type, default.

test_stub.py holds the stub to the module, field order included, so the record
tests take the fields from it rather than from a list of their own."""

import ast

from test_stub import RECORDS, STUB_CLASSES, normalise

POSE = "Annotated[list[float], FixedSize(7)]"
SCREW = "Annotated[list[float], FixedSize(6)]"

# A default record is all zero: each field holds the zero of its type.
ZERO = {
    "tuple[int, int]": (0, 0),
    "list[float]": [],
    POSE: [0.0] * 7,
    SCREW: [0.0] * 6,
    "str": "",
    "dict[str, Union[int, float, str]]": {},
    "float": 0.0,
    "bool": False,
}


def _fields(cls):
    rendered = {name: normalise(ast.unparse(getter.returns)) for name, getter in STUB_CLASSES[cls].properties.items()}
    return [(name, text, ZERO[text]) for name, text in rendered.items()]


FIELDS = {cls: _fields(cls) for cls in RECORDS}

ALL_FIELDS = [(cls, name, rendered, default)
              for cls, fields in FIELDS.items() for name, rendered, default in fields]
