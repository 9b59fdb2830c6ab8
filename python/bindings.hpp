#pragma once
// The registration steps of the velmorqrk module. Module initialisation calls
// them in the order declared here: a type must be registered before any
// function whose signature mentions it, or the signature shows the C++ type
// name instead of velmorqrk.JointGroup or the record class.
#include <pybind11/pybind11.h>
#include <pybind11/typing.h>

#include <string>

#include "python/initialised_caster.hpp"

namespace velmor::qrk::bindings {

/// Makes pybind11's common base raise TypeError instead of aborting when
/// asked for an instance of a type without a bound class; first of all, so
/// that the classes below inherit the guarded __new__.
void GuardInstanceBase();

/// Makes instances of `cls` refuse pickling and copying with TypeError
/// "cannot pickle '<name>' object" under every protocol. Spelled out because
/// protocols 0 and 1 would otherwise reach pybind11's base type.
template <typename Class>
void RefusePickling(Class& cls, const std::string& name) {
  cls.def("__reduce__", [name](const pybind11::object&) -> pybind11::typing::NoReturn {
    throw pybind11::type_error("cannot pickle '" + name + "' object");
  });
}

/// JointGroup and its members, also exported as module attributes.
void BindJointGroup(pybind11::module_& module);

/// RobotStates, RobotActions, PrimitiveStates and PlanInfo.
void BindRecords(pybind11::module_& module);

/// Client; it comes last because its methods return every type above.
void BindClient(pybind11::module_& module);

}  // namespace velmor::qrk::bindings
