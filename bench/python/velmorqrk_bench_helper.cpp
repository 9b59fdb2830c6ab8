// velmorqrk_bench_helper: a benchmark-only module, never shipped. It holds
// prebuilt results of the client's accessors and hands out copies of them
// through the same pybind11 casters as velmorqrk, so that timing a call here
// gives the bare cost of turning such a result into Python objects, without
// the client's locking and segmentation.
//
// It registers no type of its own: the dict keys and record values convert
// through velmorqrk's registrations of JointGroup and the record classes,
// which pybind11 shares between modules built with the same pybind11, the
// same compiler ABI and the same internals kind (velmorqrk keeps internals of
// its own; bench/CMakeLists.txt gives this module the same setting).
// `shares_types()` says whether that worked.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <map>

#include "velmor/qrk/joint_group.hpp"
#include "velmor/qrk/robot_actions.hpp"
#include "velmor/qrk/robot_states.hpp"

namespace {

namespace py = pybind11;
using velmor::qrk::JointGroup;

// Prebuilt results, read through methods so that a call pays the same
// dispatch as a client method (bound instance, self check).
struct Prebuilt {
  std::map<JointGroup, velmor::qrk::RobotStates> states;
  std::map<JointGroup, velmor::qrk::RobotActions> actions;
  std::array<bool, 20> inputs{};
};

template <class T>
bool Registered() {
  return py::detail::get_type_info(typeid(T)) != nullptr;
}

}  // namespace

PYBIND11_MODULE(velmorqrk_bench_helper, module) {
  // Registers JointGroup and the records before anything converts them.
  py::module_::import("velmorqrk");
  module.def("shares_types", [] {
    return Registered<JointGroup>() && Registered<velmor::qrk::RobotStates>() &&
           Registered<velmor::qrk::RobotActions>();
  });
  // Each method returns a fresh copy by value, as the client's accessors do,
  // which pybind11 then moves into new Python objects.
  py::class_<Prebuilt>(module, "Prebuilt")
      .def(py::init<std::map<JointGroup, velmor::qrk::RobotStates>, std::map<JointGroup, velmor::qrk::RobotActions>,
                    std::array<bool, 20>>())
      .def("states", [](const Prebuilt& p) { return p.states; })
      .def("actions", [](const Prebuilt& p) { return p.actions; })
      .def("digital_inputs", [](const Prebuilt& p) { return p.inputs; });
}
