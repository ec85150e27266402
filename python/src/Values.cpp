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

std::vector<Variant> Converted(py::handle values, const char* what)
{
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

}  // namespace

Column::Column(py::handle values, const char* what)
{
    if (!IsArray(values)) {
        converted_ = Converted(values, what);
        size_ = converted_.size();
        return;
    }
    auto array = py::reinterpret_borrow<py::array>(values);
    if (array.ndim() != 1) {
        throw py::value_error(std::string(what) + " must be one-dimensional, not of " + std::to_string(array.ndim()) +
                              " dimensions");
    }
    py::ssize_t width = array.dtype().itemsize();
    switch (array.dtype().kind()) {
    case 'b':
        Read<int16_t>(array, Kind::kInt16);
        break;
    case 'i':
        width <= 2   ? Read<int16_t>(array, Kind::kInt16)
        : width == 4 ? Read<int32_t>(array, Kind::kInt32)
                     : Read<int64_t>(array, Kind::kInt64);
        break;
    case 'u':
        width == 1   ? Read<int16_t>(array, Kind::kInt16)
        : width == 2 ? Read<int32_t>(array, Kind::kInt32)
        : width == 4 ? Read<int64_t>(array, Kind::kInt64)
                     : Read<uint64_t>(array, Kind::kUInt64);
        break;
    case 'f':
        Read<double>(array, Kind::kDouble);
        break;
    default:
        // Objects and texts, element by element as Python values.
        converted_ = Converted(array.attr("tolist")(), what);
        size_ = converted_.size();
    }
}

// Of the width a field of such values delivers: a copy only where the
// array's own type or layout differs.
template <typename Stored>
void Column::Read(const py::array& array, Kind kind)
{
    auto typed = py::array_t<Stored, py::array::c_style | py::array::forcecast>::ensure(array);
    if (!typed) {
        throw py::error_already_set();
    }
    kind_ = kind;
    data_ = typed.data();
    size_ = static_cast<size_t>(typed.size());
    array_ = std::move(typed);
}

Variant Column::At(size_t position) const
{
    switch (kind_) {
    case Kind::kInt16:
        return static_cast<const int16_t*>(data_)[position];
    case Kind::kInt32:
        return static_cast<const int32_t*>(data_)[position];
    case Kind::kInt64:
        return static_cast<const int64_t*>(data_)[position];
    case Kind::kUInt64: {
        // Past the signed range a number, which no code or identifier converts from.
        uint64_t value = static_cast<const uint64_t*>(data_)[position];
        if (value <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
            return static_cast<int64_t>(value);
        }
        return static_cast<double>(value);
    }
    case Kind::kDouble:
        return NumberOrNull(static_cast<const double*>(data_)[position]);
    default:
        return converted_[position];
    }
}

}  // namespace drennow::python
