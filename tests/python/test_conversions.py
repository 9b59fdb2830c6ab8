"""How Python values are converted into record fields and back.

Every rejected value must raise TypeError and leave the field as it was: each
rejection case starts from a non-default value so that a partial update shows.
"""

import collections
import types
from decimal import Decimal
from fractions import Fraction

import pytest

import velmorqrk


class Index:
    """An integer-like object that is not an int."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


# A non-default starting value for each field used below.
SEED = {
    ("PlanInfo", "waiting_for_step"): True,
    ("PlanInfo", "velocity_scale"): 0.25,
    ("PlanInfo", "pt_name"): "seed",
    ("RobotStates", "timestamp"): (3, 4),
    ("RobotStates", "q"): [9.0, 8.0],
    ("RobotStates", "tcp_pose"): [1.0] * 7,
    ("RobotStates", "tcp_twist"): [2.0] * 6,
    ("PrimitiveStates", "names_and_values"): {"seed": 1},
}


def _seeded(cls, field):
    record = getattr(velmorqrk, cls)()
    setattr(record, field, SEED[(cls, field)])
    return record


def _case(cls, field, value, *rest, id=None):
    return pytest.param(cls, field, value, *rest, id=id or f"{field}={value!r}"[:60])


ACCEPTED = [
    # bool: the truth value of anything with a number protocol; None is false.
    _case("PlanInfo", "waiting_for_step", False, False),
    _case("PlanInfo", "waiting_for_step", None, False),
    _case("PlanInfo", "waiting_for_step", 0.0, False),
    _case("PlanInfo", "waiting_for_step", Decimal(0), False),
    _case("PlanInfo", "waiting_for_step", 1, True),
    _case("PlanInfo", "waiting_for_step", 2, True),
    # 32-bit int: int, bool, __index__, else whatever int() of a number gives.
    _case("RobotStates", "timestamp", [5, 6], (5, 6)),
    _case("RobotStates", "timestamp", range(2), (0, 1)),
    _case("RobotStates", "timestamp", (True, False), (1, 0)),
    _case("RobotStates", "timestamp", (Index(7), 0), (7, 0)),
    _case("RobotStates", "timestamp", (Decimal("5.7"), 0), (5, 0)),
    _case("RobotStates", "timestamp", (-(2**31), 2**31 - 1), (-(2**31), 2**31 - 1)),
    # double: anything the number protocol turns into a float.
    _case("PlanInfo", "velocity_scale", 1, 1.0),
    _case("PlanInfo", "velocity_scale", True, 1.0),
    _case("PlanInfo", "velocity_scale", 2**40, 2.0**40),
    _case("PlanInfo", "velocity_scale", Fraction(1, 4), 0.25),
    _case("PlanInfo", "velocity_scale", Decimal("0.5"), 0.5),
    _case("PlanInfo", "velocity_scale", Index(3), 3.0),
    # string: str as UTF-8, bytes-likes byte for byte.
    _case("PlanInfo", "pt_name", "grüß", "grüß"),
    _case("PlanInfo", "pt_name", "a\0b", "a\0b"),
    _case("PlanInfo", "pt_name", b"abc", "abc"),
    _case("PlanInfo", "pt_name", bytearray(b"abc"), "abc"),
    # vector: any sequence but str and bytes, any length.
    _case("RobotStates", "q", [], []),
    _case("RobotStates", "q", [1, 2.5, True], [1.0, 2.5, 1.0]),
    _case("RobotStates", "q", (1, 2), [1.0, 2.0]),
    _case("RobotStates", "q", range(3), [0.0, 1.0, 2.0]),
    _case("RobotStates", "q", bytearray(b"\x01\x02"), [1.0, 2.0]),
    # fixed array: a sequence of exactly the field's length.
    _case("RobotStates", "tcp_pose", [1, 2, 3, 4, 5, 6, 7], [1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0]),
    _case("RobotStates", "tcp_pose", range(7), [float(i) for i in range(7)]),
    _case("RobotStates", "tcp_twist", (0.5,) * 6, [0.5] * 6),
    # map: a dict or a dict subclass; keys are strings.
    _case("PrimitiveStates", "names_and_values", {}, {}),
    _case("PrimitiveStates", "names_and_values", collections.OrderedDict(a="x"), {"a": "x"}),
    _case("PrimitiveStates", "names_and_values", {b"k": "v"}, {"k": "v"}),
    # variant, first pass without conversion: int, then float, then string.
    _case("PrimitiveStates", "names_and_values", {"a": True}, {"a": 1}),
    _case("PrimitiveStates", "names_and_values", {"a": Index(3)}, {"a": 3}),
    _case("PrimitiveStates", "names_and_values", {"a": -(2**31)}, {"a": -(2**31)}),
    _case("PrimitiveStates", "names_and_values", {"a": 1.0}, {"a": 1.0}),
    _case("PrimitiveStates", "names_and_values", {"a": 2**31}, {"a": 2.0**31}),
    _case("PrimitiveStates", "names_and_values", {"a": 2**40}, {"a": 2.0**40}),
    _case("PrimitiveStates", "names_and_values", {"a": b"x"}, {"a": "x"}),
    _case("PrimitiveStates", "names_and_values", {"a": bytearray(b"x")}, {"a": "x"}),
    # variant, second pass with conversion: int is tried before float.
    _case("PrimitiveStates", "names_and_values", {"a": Decimal("1.5")}, {"a": 1}),
]


@pytest.mark.parametrize("cls,field,value,expected", ACCEPTED)
def test_accepted_value_reads_back_converted(cls, field, value, expected):
    record = _seeded(cls, field)
    setattr(record, field, value)
    got = getattr(record, field)
    assert got == expected
    # Equality alone would let 1 pass for 1.0 or True.
    if isinstance(got, dict):
        assert [type(v) for v in got.values()] == [type(v) for v in expected.values()]
    elif isinstance(got, (list, tuple)):
        assert type(got) is type(expected)
        assert [type(v) for v in got] == [type(v) for v in expected]
    else:
        assert type(got) is type(expected)


REJECTED = [
    _case("PlanInfo", "waiting_for_step", "yes"),
    _case("PlanInfo", "waiting_for_step", ""),
    _case("PlanInfo", "waiting_for_step", []),
    _case("RobotStates", "timestamp", (1.5, 2)),
    _case("RobotStates", "timestamp", (2.0, 0)),
    _case("RobotStates", "timestamp", (1, 2, 3)),
    _case("RobotStates", "timestamp", (1,)),
    _case("RobotStates", "timestamp", (2**31, 0)),
    _case("RobotStates", "timestamp", (0, -(2**31) - 1)),
    _case("RobotStates", "timestamp", ("1", 0)),
    _case("RobotStates", "timestamp", "12"),
    _case("RobotStates", "timestamp", {1, 2}),
    _case("PlanInfo", "velocity_scale", "1"),
    _case("PlanInfo", "velocity_scale", None),
    _case("PlanInfo", "velocity_scale", b"1"),
    _case("PlanInfo", "velocity_scale", 10**400),
    _case("PlanInfo", "pt_name", 1),
    _case("PlanInfo", "pt_name", None),
    _case("PlanInfo", "pt_name", ["a"]),
    _case("RobotStates", "q", "abc"),
    _case("RobotStates", "q", b"abc"),
    _case("RobotStates", "q", {1.0}),
    _case("RobotStates", "q", {0: 1.0}),
    _case("RobotStates", "q", iter([1.0])),
    _case("RobotStates", "q", (x for x in [1.0]), id="q=generator"),
    _case("RobotStates", "q", [1.0, "a"]),
    _case("RobotStates", "q", [None]),
    _case("RobotStates", "q", 1.0),
    _case("RobotStates", "tcp_pose", (0.0,) * 6),
    _case("RobotStates", "tcp_pose", (0.0,) * 8),
    _case("RobotStates", "tcp_pose", []),
    _case("RobotStates", "tcp_pose", [0.0] * 6 + ["x"]),
    _case("RobotStates", "tcp_twist", (0.0,) * 7),
    _case("PrimitiveStates", "names_and_values", [("a", 1)]),
    _case("PrimitiveStates", "names_and_values", types.MappingProxyType({"a": 1})),
    _case("PrimitiveStates", "names_and_values", {1: 1}),
    _case("PrimitiveStates", "names_and_values", {"a": None}),
    _case("PrimitiveStates", "names_and_values", {"a": [1]}),
    _case("PrimitiveStates", "names_and_values", {"a": 1, "b": None}),
]


@pytest.mark.parametrize("cls,field,value", REJECTED)
def test_rejected_value_raises_type_error_and_keeps_field(cls, field, value):
    record = _seeded(cls, field)
    with pytest.raises(TypeError, match="incompatible function arguments"):
        setattr(record, field, value)
    assert getattr(record, field) == SEED[(cls, field)]


def test_type_error_lists_the_accepted_signature_and_the_arguments():
    rs = velmorqrk.RobotStates()
    with pytest.raises(TypeError) as raised:
        rs.tcp_pose = (0.0,) * 6
    message = str(raised.value)
    assert ("(self: velmorqrk.RobotStates, arg0: Annotated[list[float], FixedSize(7)]) -> None"
            in message)
    assert "Invoked with:" in message and "(0.0, 0.0, 0.0, 0.0, 0.0, 0.0)" in message


def test_map_reads_back_in_key_order():
    ps = velmorqrk.PrimitiveStates()
    ps.names_and_values = {"b": 1, "a": "x", "B": 2.0}
    assert list(ps.names_and_values.items()) == [("B", 2.0), ("a", "x"), ("b", 1)]


@pytest.mark.parametrize("assign", [
    pytest.param(lambda r: setattr(r, "pt_name", b"\xff"), id="string"),
    pytest.param(lambda r: setattr(r, "names_and_values", {"a": b"ok\xfe"}), id="variant"),
    pytest.param(lambda r: setattr(r, "names_and_values", {b"\xc3": 1}), id="key"),
])
def test_stored_bytes_that_are_not_utf8_fail_the_read(assign):
    ps = velmorqrk.PrimitiveStates()
    assign(ps)
    with pytest.raises(UnicodeDecodeError):
        _ = ps.pt_name, ps.names_and_values
