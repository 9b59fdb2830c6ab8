"""Record classes: defaults, copy semantics, class surface and signatures."""

import pickle

import pytest

import velmorqrk
from records_table import ALL_FIELDS, FIELDS, POSE, SCREW

RECORDS = list(FIELDS)


@pytest.mark.parametrize("cls", RECORDS)
def test_every_field_is_writable_and_none_deletable(cls):
    # Which fields, in which order: test_stub.py.
    properties = [attr for attr in vars(getattr(velmorqrk, cls)).values() if isinstance(attr, property)]
    assert len(properties) == len(FIELDS[cls])
    assert all(attr.fset is not None and attr.fdel is None for attr in properties)


@pytest.mark.parametrize("cls,field,rendered,default", ALL_FIELDS)
def test_default_record_is_all_zero(cls, field, rendered, default):
    value = getattr(getattr(velmorqrk, cls)(), field)
    assert value == default
    assert type(value) is type(default)
    if isinstance(value, list):
        assert all(type(item) is float for item in value)


@pytest.mark.parametrize("cls,field,rendered,default", ALL_FIELDS)
def test_property_signatures_render_with_module_names(cls, field, rendered, default):
    prop = getattr(getattr(velmorqrk, cls), field)
    assert prop.fget.__doc__ == f"(self: velmorqrk.{cls}) -> {rendered}\n"
    assert prop.fset.__doc__ == f"(self: velmorqrk.{cls}, arg0: {rendered}) -> None\n"


@pytest.mark.parametrize("cls", RECORDS)
def test_only_constructor_takes_no_arguments(cls):
    record_type = getattr(velmorqrk, cls)
    assert record_type.__init__.__doc__ == f"__init__(self: velmorqrk.{cls}) -> None\n"
    field = FIELDS[cls][0][0]
    with pytest.raises(TypeError) as raised:
        record_type(1)
    assert f"1. velmorqrk.{cls}()\n\nInvoked with: 1" in str(raised.value)
    with pytest.raises(TypeError):
        record_type(**{field: FIELDS[cls][0][2]})


@pytest.mark.parametrize("cls", RECORDS)
def test_no_docstring_no_extra_attributes_no_pickling_no_value_equality(cls):
    record_type = getattr(velmorqrk, cls)
    record = record_type()
    assert record_type.__doc__ is None
    assert not hasattr(record, "__dict__")
    with pytest.raises(AttributeError):
        record.foo = 1
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):  # 0 and 1 once aborted the interpreter
        with pytest.raises(TypeError, match=f"cannot pickle '{cls}' object"):
            pickle.dumps(record, protocol)
    assert record == record
    assert record != record_type()


def test_values_are_copied_on_every_read_and_write():
    rs = velmorqrk.RobotStates()
    rs.q.append(1.0)
    rs.tcp_pose[0] = 5.0
    assert rs.q == []
    assert rs.tcp_pose == [0.0] * 7
    assert rs.q is not rs.q

    source = [1.0]
    rs.q = source
    source.append(2.0)
    assert rs.q == [1.0]

    ps = velmorqrk.PrimitiveStates()
    ps.names_and_values["a"] = 1
    assert ps.names_and_values == {}


def _distinct_value(rendered, seed):
    """A non-default value of the rendered type that differs for every seed."""
    return {
        "tuple[int, int]": (seed, -seed),
        "list[float]": [seed + 0.5] * (seed % 3 + 1),
        POSE: [seed + i / 8 for i in range(7)],
        SCREW: [-seed - i / 8 for i in range(6)],
        "str": f"häll\0o {seed}",
        "dict[str, Union[int, float, str]]": {"i": seed, "d": seed + 0.5, "s": str(seed)},
        "float": seed + 0.25,
        "bool": True,
    }[rendered]


@pytest.mark.parametrize("cls", RECORDS)
def test_each_property_reads_and_writes_its_own_field(cls):
    # Writes every field before reading any, so a property wired to another
    # field shows up as a wrong value.
    record = getattr(velmorqrk, cls)()
    expected = {name: _distinct_value(rendered, seed)
                for seed, (name, rendered, _) in enumerate(FIELDS[cls], start=1)}
    for name, value in expected.items():
        setattr(record, name, value)
    assert {name: getattr(record, name) for name in expected} == expected
