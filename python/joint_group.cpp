#include "velmor/qrk/joint_group.hpp"

#include <pybind11/typing.h>

#include "python/bindings.hpp"

namespace velmor::qrk::bindings {

void BindJointGroup(pybind11::module_& module) {
  // Strict on purpose (not arithmetic): a JointGroup equals only another
  // JointGroup, never the plain integer, and has no ordering.
  pybind11::enum_<JointGroup> joint_group(module, "JointGroup");
  // The name table lists the members in declaration order, which is the
  // order __members__ and the class docstring show.
  for (const auto& [group, name] : JointGroupNames()) {
    joint_group.value(name.c_str(), group);
  }
  joint_group.export_values();
  // pybind11's own pickling support breaks down under protocols 0 and 1,
  // which reach the extension's base type and abort the interpreter; an
  // explicit reduction serves every protocol the same way.
  // The typed result reads tuple[type[velmorqrk.JointGroup], tuple[int]] in
  // the signature, as precise as the stub needs to be for a strict checker.
  using Reduction = pybind11::typing::Tuple<pybind11::typing::Type<JointGroup>, pybind11::typing::Tuple<int>>;
  joint_group.def("__reduce__", [](const pybind11::object& self) {
    return Reduction(pybind11::make_tuple(pybind11::type::of(self), pybind11::make_tuple(pybind11::int_(self))));
  });
}

}  // namespace velmor::qrk::bindings
