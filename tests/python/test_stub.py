"""The installed type stub describes exactly what the module defines: its attributes, each class's
members and signatures, and each record's fields in the module's order."""

import ast
import re
from pathlib import Path

import pytest

import velmorqrk

# The stub-only package that the wheel installs beside the module.
STUB_PATH = Path(velmorqrk.__file__).with_name("velmorqrk-stubs") / "__init__.pyi"


def _is_public(name):
    return not name.startswith("_") or (name.startswith("__") and name.endswith("__"))


def normalise(type_text):
    """A type as written in the stub or in a docstring, in one spelling."""
    # The stub writes FixedSize(N) as a string, the runtime as a call; the
    # runtime qualifies our own types with the module name.
    return type_text.replace('"', "").replace("'", "").replace("velmorqrk.", "")


class StubClass:
    def __init__(self, node):
        self.attributes, self.methods, self.properties, self.setters = set(), {}, {}, {}
        for item in node.body:
            if isinstance(item, ast.AnnAssign):
                self.attributes.add(item.target.id)
            elif isinstance(item, ast.FunctionDef):
                decorators = [ast.unparse(d) for d in item.decorator_list]
                if decorators == ["property"]:
                    self.properties[item.name] = item
                elif decorators == [f"{item.name}.setter"]:
                    self.setters[item.name] = item
                else:
                    assert not decorators, f"unexpected decorators on {item.name}"
                    self.methods[item.name] = item


def _stub():
    tree = ast.parse(STUB_PATH.read_text())
    classes = {n.name: StubClass(n) for n in tree.body if isinstance(n, ast.ClassDef)}
    variables = {n.target.id for n in tree.body if isinstance(n, ast.AnnAssign)}
    return classes, variables


STUB_CLASSES, STUB_VARIABLES = _stub()
RUNTIME_CLASSES = [name for name, attr in vars(velmorqrk).items() if isinstance(attr, type)]
RECORDS = ("RobotStates", "RobotActions", "PrimitiveStates", "PlanInfo")


def _runtime_parts(cls):
    """Own public attributes of a bound class, split as the stub splits them."""
    attributes, methods, properties = set(), {}, {}
    for name, attr in vars(cls).items():
        # __slotnames__ is copyreg's cache, left behind by any pickling attempt.
        if not _is_public(name) or name in ("__doc__", "__module__", "__slotnames__"):
            continue
        value = getattr(cls, name)
        if isinstance(attr, property) and value is attr:
            properties[name] = attr
        elif isinstance(value, cls) or not callable(value):
            attributes.add(name)  # members, and __members__ (a static property)
        else:
            methods[name] = attr
    return attributes, methods, properties


def _signature(doc):
    """(parameter types after self, return type) from a pybind11 docstring."""
    match = re.match(r"^\w*\((.*)\) -> (.*)$", doc.splitlines()[0])
    params, depth, current = [], 0, ""
    for char in match.group(1):
        depth += char in "[("
        depth -= char in "])"
        if char == "," and depth == 0:
            params.append(current.strip())
            current = ""
        else:
            current += char
    params.append(current.strip())
    types = [normalise(p.split(": ", 1)[1]) for p in params[1:]]
    return types, normalise(match.group(2))


def _stub_signature(function):
    args = function.args.posonlyargs + function.args.args
    # Defaults belong to the last parameters; render them as pybind11 does.
    defaults = [None] * (len(args) - len(function.args.defaults)) + function.args.defaults
    types = [normalise(ast.unparse(a.annotation)) + ("" if d is None else f" = {ast.unparse(d)}")
             for a, d in zip(args[1:], defaults[1:], strict=True)]
    return types, normalise(ast.unparse(function.returns))


def test_stub_package_is_installed_next_to_the_module():
    assert STUB_PATH.is_file()
    assert ast.get_docstring(ast.parse(STUB_PATH.read_text())) == velmorqrk.__doc__


def test_stub_names_exactly_the_module_attributes():
    runtime = {name for name in vars(velmorqrk) if not name.startswith("_")}
    classes = set(RUNTIME_CLASSES)
    assert set(STUB_CLASSES) == classes
    assert STUB_VARIABLES == runtime - classes


@pytest.mark.parametrize("name", RUNTIME_CLASSES)
def test_stub_class_matches_runtime_class(name):
    assert name in STUB_CLASSES
    stub = STUB_CLASSES[name]
    attributes, methods, properties = _runtime_parts(getattr(velmorqrk, name))
    assert stub.attributes == attributes
    assert set(stub.methods) == set(methods)
    assert set(stub.properties) == set(properties)
    assert set(stub.setters) == {n for n, p in properties.items() if p.fset is not None}

    for method_name, method in methods.items():
        assert _stub_signature(stub.methods[method_name]) == _signature(method.__doc__), method_name
    for prop_name, prop in properties.items():
        assert _stub_signature(stub.properties[prop_name]) == _signature(prop.fget.__doc__), prop_name
        if prop.fset is not None:
            assert (_stub_signature(stub.setters[prop_name])
                    == _signature(prop.fset.__doc__)), prop_name


@pytest.mark.parametrize("name", RECORDS)
def test_stub_record_fields_are_the_module_fields_in_order(name):
    # The properties of a record are its fields, bound in field order.
    runtime = [field for field, attr in vars(getattr(velmorqrk, name)).items() if isinstance(attr, property)]
    assert list(STUB_CLASSES[name].properties) == runtime


def _stub_names():
    """What typing_usage.py must read and assign of the stub, and the stub's declarations without a docstring."""
    reads, writes, undocumented = set(), set(), []
    for node in ast.parse(STUB_PATH.read_text()).body:
        if isinstance(node, ast.AnnAssign):
            reads.add(node.target.id)
        elif isinstance(node, ast.ClassDef):
            reads.add(node.name)
            if not ast.get_docstring(node):
                undocumented.append(node.name)
            for item in node.body:
                name = getattr(item, "name", None) or getattr(getattr(item, "target", None), "id", None)
                setter = [ast.unparse(d) for d in getattr(item, "decorator_list", [])] == [f"{name}.setter"]
                # A property's getter carries its docstring.
                if isinstance(item, ast.FunctionDef) and not setter and not ast.get_docstring(item):
                    undocumented.append(f"{node.name}.{name}")
                # Dunders are reached through int(), ==, repr() and the like.
                if name is not None and not (name.startswith("__") and name != "__members__"):
                    (writes if setter else reads).add(name)
    return reads, writes, undocumented


def test_stub_documents_every_declaration_and_typing_usage_touches_each():
    # typing_usage.py is what mypy checks against the wheel's stub (scripts/test-wheel): a binding it does not
    # touch goes unchecked.
    wanted_reads, wanted_writes, undocumented = _stub_names()
    assert undocumented == []
    reads, writes = set(), set()
    for node in ast.walk(ast.parse((Path(__file__).with_name("typing_usage.py")).read_text())):
        if isinstance(node, ast.Attribute):
            (writes if isinstance(node.ctx, ast.Store) else reads).add(node.attr)
        elif isinstance(node, ast.Name):
            reads.add(node.id)
        elif isinstance(node, ast.alias):
            reads.add(node.asname or node.name)
    assert (sorted(wanted_reads - reads), sorted(wanted_writes - writes)) == ([], [])
