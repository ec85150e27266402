#include "Errors.h"

#include "command/RunTexts.h"

#include <pybind11/pybind11.h>

#include <string>

namespace drennow::python {

namespace py = pybind11;

void RaiseConversionError(const runtime::Error& error, const char* what, std::optional<size_t> position)
{
    std::string report = command::texts::ErrorReport(error.Number(), error.Description());
    py::object argument = py::none();
    py::object at = py::none();
    if (what && position) {
        report = std::string(what) + "[" + std::to_string(*position) + "]: " + report;
        argument = py::str(what);
        at = py::int_(*position);
    }
    py::object type = py::module_::import("drennow").attr("ConversionError");
    py::object raised = type(report, error.Number(), error.Description(), argument, at);
    PyErr_SetObject(type.ptr(), raised.ptr());
    throw py::error_already_set();
}

}  // namespace drennow::python
