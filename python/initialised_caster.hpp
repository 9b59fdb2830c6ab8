#pragma once
// Only objects whose __init__ has run reach the library.
//
// `Client.__new__(Client)` makes an instance without running __init__, and
// pybind11 then hands its methods a null or freshly allocated but never
// constructed C++ object: a crash for Client, a read of raw memory for the
// records and JointGroup. pybind11 itself only catches a subclass that
// forgets to call __init__. So every argument of these types, `self`
// included, is loaded through a caster that first checks that the instance's
// C++ object was constructed, and raises TypeError otherwise; None, which
// pybind11 would pass as a null `self`, is refused the same way.
//
// This header is included (through bindings.hpp) by every source file that
// binds or converts these types, so each sees the same specialisations.
#include <pybind11/pybind11.h>

#include "velmor/qrk/client.hpp"
#include "velmor/qrk/joint_group.hpp"
#include "velmor/qrk/plan_info.hpp"
#include "velmor/qrk/primitive_states.hpp"
#include "velmor/qrk/robot_actions.hpp"
#include "velmor/qrk/robot_states.hpp"

namespace velmor::qrk::bindings {

/// Throws TypeError when `object` is an instance of the bound type `type`
/// whose __init__ never ran; any other object is left to the normal load.
void RequireInitialised(pybind11::handle object, const pybind11::detail::type_info* type);

}  // namespace velmor::qrk::bindings

namespace pybind11::detail {

template <typename T>
class initialised_caster : public type_caster_base<T> {
 public:
  bool load(handle source, bool convert) {
    if (source.is_none()) return false;
    // Every call of a polling loop takes this path: an instance of exactly
    // the bound class is checked with two comparisons and a flag, using the
    // type the base caster looked up when it was made.
    auto* instance = reinterpret_cast<detail::instance*>(source.ptr());
    const bool exact = this->typeinfo != nullptr && Py_TYPE(source.ptr()) == this->typeinfo->type;
    if (!(exact && instance->simple_layout && instance->simple_holder_constructed)) {
      velmor::qrk::bindings::RequireInitialised(source, this->typeinfo);
    }
    return type_caster_base<T>::load(source, convert);
  }
};

template <>
class type_caster<velmor::qrk::Client> : public initialised_caster<velmor::qrk::Client> {};
template <>
class type_caster<velmor::qrk::JointGroup> : public initialised_caster<velmor::qrk::JointGroup> {};
template <>
class type_caster<velmor::qrk::RobotStates> : public initialised_caster<velmor::qrk::RobotStates> {};
template <>
class type_caster<velmor::qrk::RobotActions> : public initialised_caster<velmor::qrk::RobotActions> {};
template <>
class type_caster<velmor::qrk::PrimitiveStates> : public initialised_caster<velmor::qrk::PrimitiveStates> {};
template <>
class type_caster<velmor::qrk::PlanInfo> : public initialised_caster<velmor::qrk::PlanInfo> {};

}  // namespace pybind11::detail
