#pragma once
// The compiled part of drennow.Network: the core's network of basins built
// from NumPy arrays or sequences, and its answers as NumPy arrays.

#include <pybind11/pybind11.h>

namespace drennow::python {

// Adds the class Network and its factories to the module.
void DefineNetwork(pybind11::module_& module);

}  // namespace drennow::python
