#include "platform/gdal/DbfFile.h"

#include "platform/gdal/GdalError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace drennow::gdalhost {

namespace {

constexpr size_t kHeaderSize = 32;
constexpr size_t kDescriptorSize = 32;
constexpr unsigned char kDescriptorsEnd = 0x0D;

uint32_t LittleEndian(const unsigned char* bytes, int count)
{
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

std::string SystemError()
{
    return std::strerror(errno);
}

}  // namespace

DbfFile::DbfFile(int fd, std::string path) : fd_(fd), path_(std::move(path))
{
    unsigned char header[kHeaderSize];
    if (::pread(fd_, header, kHeaderSize, 0) != static_cast<ssize_t>(kHeaderSize)) {
        RaiseHostError(path_ + " is not a dBASE table");
    }
    recordCount_ = LittleEndian(header + 4, 4);
    headerLength_ = LittleEndian(header + 8, 2);
    recordLength_ = LittleEndian(header + 10, 2);

    uint32_t offset = 0;
    for (uint32_t at = kHeaderSize; at + kDescriptorSize <= headerLength_; at += kDescriptorSize) {
        unsigned char descriptor[kDescriptorSize];
        if (::pread(fd_, descriptor, kDescriptorSize, at) != static_cast<ssize_t>(kDescriptorSize) ||
            descriptor[0] == kDescriptorsEnd) {
            break;
        }
        Field field{static_cast<char>(descriptor[11]), offset, descriptor[16], descriptor[17]};
        fields_.push_back(field);
        offset += field.width;
    }
    if (offset + 1 > recordLength_) {
        RaiseHostError(path_ + " is not a dBASE table");
    }
}

void DbfFile::WriteInteger(uint32_t record, int field, int64_t value)
{
    const Field& target = NumericField(field);
    if (target.decimals != 0) {
        WriteReal(record, field, static_cast<double>(value));
        return;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%*lld", static_cast<int>(target.width), static_cast<long long>(value));
    Put(record, target, text);
}

void DbfFile::WriteReal(uint32_t record, int field, double value)
{
    const Field& target = NumericField(field);
    char text[512];
    std::snprintf(text, sizeof text, "%*.*f", static_cast<int>(target.width), target.decimals, value);
    Put(record, target, text);
}

void DbfFile::WriteNull(uint32_t record, int field)
{
    const Field& target = NumericField(field);
    Put(record, target, std::string(target.width, '*'));
}

const DbfFile::Field& DbfFile::NumericField(int field) const
{
    if (field < 0 || field >= FieldCount()) {
        RaiseHostError("No field " + std::to_string(field) + " in " + path_);
    }
    const Field& target = fields_[static_cast<size_t>(field)];
    if (target.type != 'N' && target.type != 'F') {
        RaiseHostError("Only numeric fields are written in " + path_);
    }
    return target;
}

void DbfFile::Put(uint32_t record, const Field& field, const std::string& text)
{
    if (record >= recordCount_) {
        RaiseHostError("No record " + std::to_string(record) + " in " + path_);
    }
    if (text.size() != field.width) {
        RaiseHostError("The value " + text + " does not fit a field of width " + std::to_string(field.width));
    }
    off_t at = static_cast<off_t>(headerLength_) + static_cast<off_t>(record) * recordLength_ + 1 + field.offset;
    if (::pwrite(fd_, text.data(), text.size(), at) != static_cast<ssize_t>(text.size())) {
        RaiseHostError("Could not write " + path_ + ": " + SystemError());
    }
}

}  // namespace drennow::gdalhost
