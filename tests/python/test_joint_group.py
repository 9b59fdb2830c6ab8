"""JointGroup: a strict enumeration shared by C++ and Python."""

import copy
import operator
import pickle

import pytest

import velmorqrk
from velmorqrk import JointGroup

VALUES = {"UNKNOWN": -1, "ALL": 0, "ARMS": 2, "ARM_1": 3, "ARM_2": 4, "EXT_AXIS": 5}


def test_members_in_declaration_order_with_their_values():
    assert list(JointGroup.__members__) == list(VALUES)
    assert {name: member.value for name, member in JointGroup.__members__.items()} == VALUES
    assert {name: int(member) for name, member in JointGroup.__members__.items()} == VALUES
    assert [m.name for m in JointGroup.__members__.values()] == list(VALUES)


@pytest.mark.parametrize("name", VALUES)
def test_exported_member_is_the_class_attribute(name):
    member = getattr(JointGroup, name)
    assert getattr(velmorqrk, name) is member
    assert JointGroup.__members__[name] is member
    assert type(member) is JointGroup


def test_equal_only_to_a_joint_group_of_the_same_value():
    assert JointGroup(2) == JointGroup.ARMS
    assert JointGroup(2) is not JointGroup.ARMS
    assert JointGroup.ARMS != JointGroup.ARM_1
    for other in (2, 2.0, "ARMS", None, object()):
        assert not (JointGroup.ARMS == other)
        assert JointGroup.ARMS != other
    assert int(JointGroup.ARMS) == 2
    assert operator.index(JointGroup.ARM_2) == 4
    assert ["a", "b", "c", "d", "e"][JointGroup.ARM_2] == "e"


def test_hash_matches_value_so_members_work_as_keys():
    assert hash(JointGroup.EXT_AXIS) == hash(5)
    table = {JointGroup.ARM_1: "left"}
    assert table[JointGroup(3)] == "left"
    assert 3 not in table


def test_values_without_a_member_are_allowed_but_unnamed():
    one = JointGroup(1)
    assert one.name == "???"
    assert one.value == 1
    assert repr(one) == "<JointGroup.???: 1>"
    assert JointGroup(2**31 - 1).value == 2**31 - 1
    assert JointGroup(-(2**31)).value == -(2**31)
    for bad in (2**31, -(2**31) - 1, 1.0, "ARMS", None):
        with pytest.raises(TypeError):
            JointGroup(bad)
    with pytest.raises(TypeError):
        JointGroup()


def test_repr_and_str_texts():
    assert repr(JointGroup.ARMS) == "<JointGroup.ARMS: 2>"
    assert repr(JointGroup.UNKNOWN) == "<JointGroup.UNKNOWN: -1>"
    assert str(JointGroup.ARM_1) == "JointGroup.ARM_1"
    assert str(JointGroup.EXT_AXIS) == "JointGroup.EXT_AXIS"


@pytest.mark.parametrize("op", [operator.lt, operator.le, operator.gt, operator.ge,
                                operator.and_, operator.or_, operator.xor, operator.add,
                                operator.sub, lambda a, _: ~a])
def test_no_ordering_bitwise_or_arithmetic(op):
    with pytest.raises(TypeError):
        op(JointGroup.ARMS, JointGroup.ARM_1)
    with pytest.raises(TypeError):
        op(JointGroup.ARMS, 1)


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_pickle_round_trip_keeps_value_and_type(protocol):
    for member in [*JointGroup.__members__.values(), JointGroup(1)]:
        restored = pickle.loads(pickle.dumps(member, protocol))
        assert type(restored) is JointGroup
        assert restored == member
        assert restored.name == member.name
    assert copy.deepcopy(JointGroup.ARMS) == JointGroup.ARMS
    assert JointGroup.ARMS.__getstate__() == 2


def test_class_docstring_lists_members_and_instances_take_no_attributes():
    assert JointGroup.__doc__ == (
        "Members:\n\n  UNKNOWN\n\n  ALL\n\n  ARMS\n\n  ARM_1\n\n  ARM_2\n\n  EXT_AXIS")
    with pytest.raises(AttributeError):
        JointGroup.ARMS.label = "arms"


def test_rendered_signatures_use_the_module_name():
    assert JointGroup.__init__.__doc__.startswith(
        "__init__(self: velmorqrk.JointGroup, value: int) -> None")
    assert JointGroup.__setstate__.__doc__.startswith(
        "__setstate__(self: velmorqrk.JointGroup, state: int) -> None")
