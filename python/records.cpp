// Record classes: each field is a read-write property whose getter builds a
// fresh Python object from a copy, so mutating what a read returned never
// changes the record, and whose setter converts the whole value before
// replacing the field, so a failed conversion leaves it untouched.
#include <pybind11/stl.h>

#include <string>
#include <utility>

#include "python/bindings.hpp"
#include "records/record_field_list.hpp"

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

template <typename Record>
void BindRecord(py::module_& module, const char* name) {
  RecordBinder<Record> binder(module, name);
  ForEachNamedField<Record>([&binder](const auto& field) { binder.Property(field.name, field.member); });
}

}  // namespace

void BindRecords(py::module_& module) {
  BindRecord<RobotStates>(module, "RobotStates");
  BindRecord<RobotActions>(module, "RobotActions");
  BindRecord<PrimitiveStates>(module, "PrimitiveStates");
  BindRecord<PlanInfo>(module, "PlanInfo");
}

}  // namespace velmor::qrk::bindings
