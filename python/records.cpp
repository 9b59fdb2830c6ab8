// Record classes: each field is a read-write property whose getter builds a
// fresh Python object from a copy, so mutating what a read returned never
// changes the record, and whose setter converts the whole value before
// replacing the field, so a failed conversion leaves it untouched.
#include <pybind11/stl.h>

#include <string>
#include <utility>

#include "python/bindings.hpp"
#include "velmor/qrk/plan_info.hpp"
#include "velmor/qrk/primitive_states.hpp"
#include "velmor/qrk/robot_actions.hpp"
#include "velmor/qrk/robot_states.hpp"

namespace velmor::qrk::bindings {
namespace {

namespace py = pybind11;

template <typename Record>
class RecordBinder {
 public:
  RecordBinder(py::module_& module, const char* name) : class_binding_(module, name) {
    class_binding_.def(py::init<>());
    RefusePickling(class_binding_, name);
  }

  template <typename Field>
  RecordBinder& Property(const char* name, Field Record::*field) {
    // Both accessors are marked as methods so that their signatures read
    // (self: velmorqrk.X) -> T and (self: velmorqrk.X, arg0: T) -> None.
    const py::is_method method(class_binding_);
    class_binding_.def_property(
        name, py::cpp_function([field](const Record& record) { return record.*field; }, method),
        py::cpp_function([field](Record& record, Field value) { record.*field = std::move(value); }, method));
    return *this;
  }

 private:
  py::class_<Record> class_binding_;
};

}  // namespace

void BindRecords(py::module_& module) {
  RecordBinder<RobotStates>(module, "RobotStates")
      .Property("timestamp", &RobotStates::timestamp)
      .Property("q", &RobotStates::q)
      .Property("theta", &RobotStates::theta)
      .Property("dq", &RobotStates::dq)
      .Property("dtheta", &RobotStates::dtheta)
      .Property("tau", &RobotStates::tau)
      .Property("tau_dot", &RobotStates::tau_dot)
      .Property("tau_ext", &RobotStates::tau_ext)
      .Property("tau_interact", &RobotStates::tau_interact)
      .Property("temperature", &RobotStates::temperature)
      .Property("flange_pose", &RobotStates::flange_pose)
      .Property("tcp_pose", &RobotStates::tcp_pose)
      .Property("tcp_twist", &RobotStates::tcp_twist)
      .Property("tcp_wrench", &RobotStates::tcp_wrench)
      .Property("tcp_wrench_local", &RobotStates::tcp_wrench_local)
      .Property("raw_tcp_wrench", &RobotStates::raw_tcp_wrench)
      .Property("raw_tcp_wrench_local", &RobotStates::raw_tcp_wrench_local)
      .Property("raw_ft_sensor", &RobotStates::raw_ft_sensor);

  RecordBinder<RobotActions>(module, "RobotActions")
      .Property("timestamp", &RobotActions::timestamp)
      .Property("q_d", &RobotActions::q_d)
      .Property("dq_d", &RobotActions::dq_d)
      .Property("tau_d", &RobotActions::tau_d)
      .Property("tcp_pose_d", &RobotActions::tcp_pose_d)
      .Property("tcp_twist_d", &RobotActions::tcp_twist_d)
      .Property("tcp_wrench_d", &RobotActions::tcp_wrench_d);

  RecordBinder<PrimitiveStates>(module, "PrimitiveStates")
      .Property("pt_name", &PrimitiveStates::pt_name)
      .Property("names_and_values", &PrimitiveStates::names_and_values);

  RecordBinder<PlanInfo>(module, "PlanInfo")
      .Property("pt_name", &PlanInfo::pt_name)
      .Property("node_name", &PlanInfo::node_name)
      .Property("node_path", &PlanInfo::node_path)
      .Property("node_path_time_period", &PlanInfo::node_path_time_period)
      .Property("node_path_number", &PlanInfo::node_path_number)
      .Property("assigned_plan_name", &PlanInfo::assigned_plan_name)
      .Property("velocity_scale", &PlanInfo::velocity_scale)
      .Property("waiting_for_step", &PlanInfo::waiting_for_step);
}

}  // namespace velmor::qrk::bindings
