#include "Values.h"

#include "Errors.h"
#include "Surface.h"

#include "runtime/Collection.h"

#include <pybind11/numpy.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace drennow::python {

namespace py = pybind11;
using runtime::Variant;

namespace {

// A module imported already, or null: no value can be of its types unless it
// was imported, and asking would import it.
PyObject* Imported(const char* name)
{
    return PyDict_GetItemString(PyImport_GetModuleDict(), name);
}

bool IsArray(py::handle values)
{
    return Imported("numpy") != nullptr && py::isinstance<py::array>(values);
}

bool IsMaskedArray(py::handle values)
{
    PyObject* masked = Imported("numpy.ma");
    return masked && py::isinstance(values, py::handle(masked).attr("MaskedArray"));
}

Variant NumberOrNull(double number)
{
    return std::isnan(number) ? Variant::Null() : Variant(number);
}

// The narrowest of the widths a field delivers: a 32-bit field's values
// take less room where the core files them.
Variant Narrowest(int64_t value)
{
    if (value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max()) {
        return Variant(static_cast<int32_t>(value));
    }
    return Variant(value);
}

// A number beyond 64 bits stays a number, which no code or identifier
// converts from.
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
    return Narrowest(value);
}

// The blanks Python's int() and float() pass over around a number: Unicode's
// whitespace but the four ASCII separators.
bool IsBlank(Py_UCS4 c)
{
    return Py_UNICODE_ISSPACE(c) && !(c >= 0x1c && c <= 0x1f);
}

// A text without the blanks around it, in UTF-8.
std::string Stripped(PyObject* text)
{
    int kind = PyUnicode_KIND(text);
    const void* data = PyUnicode_DATA(text);
    Py_ssize_t first = 0;
    Py_ssize_t last = PyUnicode_GET_LENGTH(text);
    while (first < last && IsBlank(PyUnicode_READ(kind, data, first))) {
        ++first;
    }
    while (last > first && IsBlank(PyUnicode_READ(kind, data, last - 1))) {
        --last;
    }
    if (PyUnicode_IS_ASCII(text)) {
        return std::string(static_cast<const char*>(data) + first, static_cast<size_t>(last - first));
    }
    auto part = py::reinterpret_steal<py::object>(PyUnicode_Substring(text, first, last));
    Py_ssize_t length = 0;
    const char* utf8 = part ? PyUnicode_AsUTF8AndSize(part.ptr(), &length) : nullptr;
    if (!utf8) {
        throw py::error_already_set();
    }
    return std::string(utf8, static_cast<size_t>(length));
}

// The texts float() reads as NaN or an infinity, whatever their letter case.
std::optional<double> SpecialNumber(const std::string& text)
{
    std::string word;
    std::transform(text.begin(), text.end(), std::back_inserter(word),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    bool negative = !word.empty() && word[0] == '-';
    if (!word.empty() && (word[0] == '-' || word[0] == '+')) {
        word.erase(0, 1);
    }
    if (word == "nan") {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (word == "inf" || word == "infinity") {
        return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    return std::nullopt;
}

// The plain decimal text of an integer is that integer, which the core sorts
// and files as it would the text, only faster; any other text stays text.
Variant TextValue(PyObject* object)
{
    std::string text = Stripped(object);
    if (std::optional<int64_t> integer = runtime::Collection::DecimalKey(text)) {
        return Narrowest(*integer);
    }
    if (std::optional<double> special = SpecialNumber(text)) {
        return NumberOrNull(*special);
    }
    return Variant(std::move(text));
}

// pandas' own missing values, when pandas is imported.
struct PandasMissing {
    PandasMissing()
    {
        if (PyObject* pandas = Imported("pandas")) {
            na = py::handle(pandas).attr("NA");
            nat = py::handle(pandas).attr("NaT");
        }
    }
    bool Matches(py::handle item) const { return na && (item.is(na) || item.is(nat)); }

    py::object na;
    py::object nat;
};

Variant ElementOf(py::handle item, const char* what, size_t index, const PandasMissing& missing)
{
    PyObject* object = item.ptr();
    if (object == Py_None || missing.Matches(item)) {
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
        return TextValue(object);
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

// Masked entries (mask, when given) are null without a look at them.
std::vector<Variant> Converted(py::handle values, const char* what, const bool* mask = nullptr)
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
    PandasMissing missing;
    for (py::handle item : py::iter(values)) {
        size_t index = converted.size();
        CheckSignalsAt(index);
        converted.push_back(mask && mask[index] ? Variant::Null() : ElementOf(item, what, index, missing));
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
    if (!IsMaskedArray(values)) {
        ReadArray(py::reinterpret_borrow<py::array>(values), what);
        return;
    }
    // The values under the mask, whatever they are, are never read.
    py::object mask = py::module_::import("numpy.ma").attr("getmaskarray")(values);
    auto flags = py::array_t<bool, py::array::c_style | py::array::forcecast>::ensure(mask);
    if (!flags) {
        throw py::error_already_set();
    }
    mask_ = flags.data();
    maskArray_ = std::move(flags);
    ReadArray(py::array(values.attr("data")), what);
}

void Column::ReadArray(const py::array& array, const char* what)
{
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
        converted_ = Converted(array.attr("tolist")(), what, mask_);
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

Variant Column::Unmasked(size_t position) const
{
    switch (kind_) {
    case Kind::kInt16:
        return static_cast<const int16_t*>(data_)[position];
    case Kind::kInt32:
        return static_cast<const int32_t*>(data_)[position];
    case Kind::kInt64:
        return Narrowest(static_cast<const int64_t*>(data_)[position]);
    case Kind::kUInt64: {
        // Past the signed range a number, which no code or identifier converts from.
        uint64_t value = static_cast<const uint64_t*>(data_)[position];
        if (value <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
            return Narrowest(static_cast<int64_t>(value));
        }
        return static_cast<double>(value);
    }
    case Kind::kDouble:
        return NumberOrNull(static_cast<const double*>(data_)[position]);
    default:
        return converted_[position];
    }
}

std::vector<double> NumberValues(py::handle values, const char* what)
{
    if (IsArray(values) && !IsMaskedArray(values)) {
        auto array = py::reinterpret_borrow<py::array>(values);
        if (array.ndim() == 1 && std::string_view("biuf").find(array.dtype().kind()) != std::string_view::npos) {
            auto numbers = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(array);
            if (!numbers) {
                throw py::error_already_set();
            }
            return std::vector<double>(numbers.data(), numbers.data() + numbers.size());
        }
    }
    const Column column(values, what);
    std::vector<double> numbers(column.Size(), std::numeric_limits<double>::quiet_NaN());
    for (size_t i = 0; i < column.Size(); ++i) {
        CheckSignalsAt(i);
        Variant value = column.At(i);
        try {
            numbers[i] = value.IsNull() ? numbers[i] : runtime::ToDouble(value);
        } catch (const runtime::Error& error) {
            RaiseConversionError(error, what, i);
        }
    }
    return numbers;
}

}  // namespace drennow::python
