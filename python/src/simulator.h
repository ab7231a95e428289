// vexq4.Simulator: the simulated RX-Q4 on a pseudo-terminal of this
// process, configured with the options of vexq4-sim as keyword arguments.
#pragma once

#include <pybind11/pybind11.h>

namespace vexq4::python {

void BindSimulator(pybind11::module_& m);

}  // namespace vexq4::python
