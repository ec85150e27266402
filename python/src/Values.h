#pragma once

#include "runtime/Variant.h"

#include <pybind11/pybind11.h>

#include <vector>

namespace drennow::python {

// The values of a one-dimensional NumPy array or of any other iterable, as a
// layer's field would deliver them: integers of their width (16, 32 or 64
// bits), floating-point numbers, texts, and null for None and NaN. Raises
// TypeError for an element that is none of these and ValueError for an array
// of more than one dimension; what is named in the messages.
std::vector<runtime::Variant> VariantsOf(pybind11::handle values, const char* what);

}  // namespace drennow::python
