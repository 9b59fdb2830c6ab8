#include <pybind11/stl.h>

#include "python/bindings.hpp"
#include "velmor/qrk/client.hpp"

namespace velmor::qrk::bindings {

namespace py = pybind11;

// Every method keeps the interpreter lock: the client's own threads never
// call into Python, and holding the lock keeps calls from several Python
// threads reaching the client one at a time.
void BindClient(py::module_& module) {
  py::class_<Client> client(module, "Client");
  client.def(py::init<const std::string&, bool>(), py::arg("robot_sn"), py::arg("verbose") = true);
  // A client is a live connection, not a value.
  RefusePickling(client, "Client");
  client.def("connected", &Client::connected)
      .def("groups", &Client::groups)
      .def("states", &Client::states)
      .def("actions", &Client::actions)
      .def("primitive_states", &Client::primitive_states)
      .def("configuration_score", &Client::configuration_score)
      .def("plan_info", &Client::plan_info)
      .def("estop_released", &Client::estop_released)
      .def("enabling_device_on", &Client::enabling_device_on)
      .def("digital_inputs", &Client::digital_inputs)
      .def("digital_outputs", &Client::digital_outputs)
      .def("__repr__", [](const Client&) { return std::string("<velmorqrk.Client>"); });
}

}  // namespace velmor::qrk::bindings
