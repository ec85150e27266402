#pragma once

#include "runtime/Variant.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <vector>

namespace drennow::python {

// The values of a one-dimensional NumPy array or of any other iterable, as a
// layer's field would deliver them: integers (of 32 bits where they fit,
// else 64), floating-point numbers, texts, and null for None, NaN, pandas'
// NA and NaT and the masked entries of a masked array. Texts are read as
// Python's int() and float() read them: blanks around them do not count,
// "nan" is NaN and "inf" infinity, and the decimal text of an integer is
// that integer. A numeric array is read in place, anything else converted
// at once. Made with the interpreter lock, which At does not need; the
// values must not change meanwhile. Raises TypeError for an element that is
// none of these and ValueError for an array of more than one dimension;
// what is named in the messages.
class Column {
public:
    Column(pybind11::handle values, const char* what);

    size_t Size() const { return size_; }
    runtime::Variant At(size_t position) const
    {
        return mask_ && mask_[position] ? runtime::Variant::Null() : Unmasked(position);
    }

private:
    enum class Kind { kInt16, kInt32, kInt64, kUInt64, kDouble, kConverted };

    void ReadArray(const pybind11::array& array, const char* what);
    template <typename Stored>
    void Read(const pybind11::array& array, Kind kind);
    runtime::Variant Unmasked(size_t position) const;

    pybind11::object array_;  // the array read, kept alive
    Kind kind_ = Kind::kConverted;
    const void* data_ = nullptr;
    size_t size_ = 0;
    std::vector<runtime::Variant> converted_;
    pybind11::object maskArray_;  // a masked array's mask, kept alive
    const bool* mask_ = nullptr;
};

// The values as numbers, NaN for null (what Column reads as null): a plain
// numeric NumPy array is read at once, anything else through Column and the
// runtime's conversion to a floating-point number. Raises ConversionError
// naming what[i] for a text that is no number, and what Column raises.
std::vector<double> NumberValues(pybind11::handle values, const char* what);

}  // namespace drennow::python
