#include "python/initialised_caster.hpp"

namespace velmor::qrk::bindings {

void RequireInitialised(pybind11::handle object, const pybind11::detail::type_info* info) {
  if (info == nullptr || !PyObject_TypeCheck(object.ptr(), info->type)) return;
  auto* instance = reinterpret_cast<pybind11::detail::instance*>(object.ptr());
  const auto value_and_holder = instance->get_value_and_holder(info, false);
  if (!value_and_holder || !value_and_holder.holder_constructed()) {
    throw pybind11::type_error(std::string(Py_TYPE(object.ptr())->tp_name) +
                               ".__init__() must be called before the object is used");
  }
}

}  // namespace velmor::qrk::bindings
