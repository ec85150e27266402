#include "Values.h"

#include <pybind11/numpy.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace drennow::python {

namespace py = pybind11;
using runtime::Variant;

namespace {

// No value can be an array unless NumPy was imported: asking would import it.
bool IsArray(py::handle values)
{
    PyObject* modules = PyImport_GetModuleDict();
    return PyDict_GetItemString(modules, "numpy") != nullptr && py::isinstance<py::array>(values);
}

Variant NumberOrNull(double number)
{
    return std::isnan(number) ? Variant::Null() : Variant(number);
}

// The narrowest of the widths a field delivers; a number beyond 64 bits
// stays a number, which no code or identifier converts from.
Variant WholeNumber(py::handle number)
{
    int overflow = 0;
    long long value = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
    if (overflow != 0) {
        return Variant(overflow > 0 ? std::numeric_limits<double>::infinity()
                                    : -std::numeric_limits<double>::infinity());
    }
    if (value == -1 && PyErr_Occurred()) {
        throw py::error_already_set();
    }
    if (value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max()) {
        return Variant(static_cast<int32_t>(value));
    }
    return Variant(static_cast<int64_t>(value));
}

Variant ElementOf(py::handle item, const char* what, size_t index)
{
    PyObject* object = item.ptr();
    if (object == Py_None) {
        return Variant::Null();
    }
    if (PyBool_Check(object)) {
        return Variant(static_cast<int16_t>(object == Py_True));
    }
    if (PyFloat_Check(object)) {
        return NumberOrNull(PyFloat_AS_DOUBLE(object));
    }
    if (PyLong_Check(object)) {
        return WholeNumber(item);
    }
    if (PyUnicode_Check(object)) {
        Py_ssize_t length = 0;
        const char* text = PyUnicode_AsUTF8AndSize(object, &length);
        if (!text) {
            throw py::error_already_set();
        }
        return Variant(std::string(text, static_cast<size_t>(length)));
    }
    // NumPy's scalars and other numbers.
    if (PyIndex_Check(object)) {
        auto number = py::reinterpret_steal<py::object>(PyNumber_Index(object));
        if (!number) {
            throw py::error_already_set();
        }
        return WholeNumber(number);
    }
    if (auto number = py::reinterpret_steal<py::object>(PyNumber_Float(object))) {
        return NumberOrNull(PyFloat_AS_DOUBLE(number.ptr()));
    }
    PyErr_Clear();
    throw py::type_error(std::string(what) + "[" + std::to_string(index) + "]: " +
                         std::string(py::str(py::type::handle_of(item).attr("__name__"))) +
                         " is neither a number nor a text");
}

template <typename Stored>
std::vector<Variant> TypedValues(const py::array& array)
{
    auto typed = py::array_t<Stored, py::array::c_style | py::array::forcecast>::ensure(array);
    if (!typed) {
        throw py::error_already_set();
    }
    const Stored* data = typed.data();
    std::vector<Variant> values;
    values.reserve(static_cast<size_t>(typed.size()));
    for (py::ssize_t i = 0; i < typed.size(); ++i) {
        if constexpr (std::is_floating_point_v<Stored>) {
            values.push_back(NumberOrNull(data[i]));
        } else {
            values.emplace_back(data[i]);
        }
    }
    return values;
}

// Unsigned 64-bit values past the signed range stay numbers, which no code
// or identifier converts from.
std::vector<Variant> UnsignedValues(const py::array& array)
{
    auto typed = py::array_t<uint64_t, py::array::c_style | py::array::forcecast>::ensure(array);
    if (!typed) {
        throw py::error_already_set();
    }
    std::vector<Variant> values;
    values.reserve(static_cast<size_t>(typed.size()));
    for (py::ssize_t i = 0; i < typed.size(); ++i) {
        uint64_t value = typed.data()[i];
        if (value <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
            values.emplace_back(static_cast<int64_t>(value));
        } else {
            values.emplace_back(static_cast<double>(value));
        }
    }
    return values;
}

std::vector<Variant> ArrayValues(const py::array& array, const char* what)
{
    if (array.ndim() != 1) {
        throw py::value_error(std::string(what) + " must be one-dimensional, not of " + std::to_string(array.ndim()) +
                              " dimensions");
    }
    py::ssize_t size = array.dtype().itemsize();
    switch (array.dtype().kind()) {
    case 'b':
        return TypedValues<int16_t>(array);
    case 'i':
        return size <= 2 ? TypedValues<int16_t>(array)
               : size == 4 ? TypedValues<int32_t>(array)
                           : TypedValues<int64_t>(array);
    case 'u':
        return size == 1   ? TypedValues<int16_t>(array)
               : size == 2 ? TypedValues<int32_t>(array)
               : size == 4 ? TypedValues<int64_t>(array)
                           : UnsignedValues(array);
    case 'f':
        return TypedValues<double>(array);
    default:
        return {};
    }
}

}  // namespace

std::vector<Variant> VariantsOf(py::handle values, const char* what)
{
    if (IsArray(values)) {
        auto array = py::reinterpret_borrow<py::array>(values);
        char kind = array.dtype().kind();
        if (kind == 'b' || kind == 'i' || kind == 'u' || kind == 'f') {
            return ArrayValues(array, what);
        }
        if (array.ndim() != 1) {
            ArrayValues(array, what);  // raises
        }
        // Objects and texts, element by element as Python values.
        return VariantsOf(array.attr("tolist")(), what);
    }
    if (PyUnicode_Check(values.ptr()) || PyBytes_Check(values.ptr())) {
        throw py::type_error(std::string(what) + " must be a sequence of values, not a single text");
    }
    std::vector<Variant> converted;
    Py_ssize_t length = PyObject_LengthHint(values.ptr(), 0);
    if (length < 0) {
        PyErr_Clear();
    } else {
        converted.reserve(static_cast<size_t>(length));
    }
    for (py::handle item : py::iter(values)) {
        converted.push_back(ElementOf(item, what, converted.size()));
    }
    return converted;
}

}  // namespace drennow::python
