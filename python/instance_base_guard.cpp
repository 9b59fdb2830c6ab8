// pybind11's common base of all bound classes (pybind11_object) aborts the
// interpreter when asked for an instance of a type that has no bound C++
// class behind it: `velmorqrk.Client.__base__()`, a Python class derived from
// that base alone, or pickling under protocols 0 and 1, whose copyreg
// fallback calls the base. Its __new__ is made to raise TypeError there
// instead; every other request goes to pybind11's own __new__ unchanged.
//
// The base belongs to the module's pybind11 internals, which are its own
// (PYBIND11_INTERNALS_KIND, python/CMakeLists.txt): other pybind11 modules in
// the process have bases of their own, which this never touches.
#include <exception>

#include "python/bindings.hpp"

namespace velmor::qrk::bindings {
namespace {

newfunc pybind11_new = nullptr;

PyObject* NewInstanceOfBoundClass(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  bool bound = false;
  try {
    bound = !pybind11::detail::all_type_info(type).empty();
  } catch (const std::exception& error) {
    PyErr_SetString(PyExc_TypeError, error.what());
    return nullptr;
  }
  if (!bound) {
    PyErr_Format(PyExc_TypeError, "cannot create '%.200s' instances", type->tp_name);
    return nullptr;
  }
  return pybind11_new(type, args, kwargs);
}

}  // namespace

void GuardInstanceBase() {
  auto* base = reinterpret_cast<PyTypeObject*>(pybind11::detail::get_internals().instance_base);
  if (base->tp_new == &NewInstanceOfBoundClass) return;
  pybind11_new = base->tp_new;
  base->tp_new = &NewInstanceOfBoundClass;
  PyType_Modified(base);
}

}  // namespace velmor::qrk::bindings
