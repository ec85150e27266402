#include "platform/gdal/storage/DbfFile.h"

#include "platform/gdal/data/GdalError.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace drennow::gdalhost {

namespace {

constexpr size_t kNameSize = 11;
constexpr char kDeleted = '*';

uint32_t LittleEndian(const char* bytes, int count)
{
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[i]);
    }
    return value;
}

[[noreturn]] void NotDbase(const std::string& path)
{
    RaiseHostError(path + " is not a dBASE table");
}

}  // namespace

DbfHeader DbfHeader::Read(int fd, const std::string& path)
{
    char start[kFixedSize];
    if (::pread(fd, start, kFixedSize, 0) != static_cast<ssize_t>(kFixedSize)) {
        NotDbase(path);
    }
    DbfHeader header;
    header.recordCount = LittleEndian(start + 4, 4);
    header.headerLength = LittleEndian(start + 8, 2);
    header.recordLength = LittleEndian(start + 10, 2);
    header.bytes.resize(header.headerLength);
    if (header.headerLength < kFixedSize ||
        ::pread(fd, header.bytes.data(), header.headerLength, 0) != static_cast<ssize_t>(header.headerLength)) {
        NotDbase(path);
    }
    uint32_t offset = 0;
    for (size_t at = kFixedSize; at + kDescriptorSize <= header.headerLength && header.bytes[at] != kDescriptorsEnd;
         at += kDescriptorSize) {
        const char* descriptor = header.bytes.data() + at;
        Field field{std::string(descriptor, ::strnlen(descriptor, kNameSize)), descriptor[11], offset,
                    static_cast<unsigned char>(descriptor[16]), static_cast<unsigned char>(descriptor[17])};
        header.fields.push_back(field);
        offset += field.width;
    }
    if (offset + 1 > header.recordLength) {
        NotDbase(path);
    }
    return header;
}

void ReadExactly(int fd, char* into, size_t count, off_t at, const std::string& table)
{
    while (count > 0) {
        ssize_t got = ::pread(fd, into, count, at);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            RaiseHostError("Could not read " + table + ": " + std::strerror(errno));
        }
        if (got == 0) {
            RaiseHostError(table + " is shorter than its header says; nothing was changed");
        }
        into += got;
        count -= static_cast<size_t>(got);
        at += got;
    }
}

uint32_t CountDeletedRecords(int fd, const std::string& table, uint32_t records)
{
    DbfHeader header = DbfHeader::Read(fd, table);
    records = std::min(records, header.recordCount);
    size_t perRead = std::max<size_t>(1, kDbfBytesPerRead / header.recordLength);
    std::vector<char> bytes(perRead * header.recordLength);
    uint32_t deleted = 0;
    for (uint32_t done = 0; done < records;) {
        size_t count = std::min<size_t>(perRead, records - done);
        off_t at = static_cast<off_t>(header.headerLength) + static_cast<off_t>(done) * header.recordLength;
        ReadExactly(fd, bytes.data(), count * header.recordLength, at, table);
        for (size_t i = 0; i < count; ++i) {
            deleted += bytes[i * header.recordLength] == kDeleted;
        }
        done += static_cast<uint32_t>(count);
    }
    return deleted;
}

DbfFile::DbfFile(int fd, std::string path) : fd_(fd), path_(std::move(path)), header_(DbfHeader::Read(fd_, path_))
{
}

void DbfFile::WriteInteger(uint32_t record, int field, int64_t value)
{
    const DbfHeader::Field& target = NumericField(field);
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
    const DbfHeader::Field& target = NumericField(field);
    // A value whose digits before the point leave no room for all the
    // field's decimals is written with as many as fit, as readers take it.
    char text[512];
    for (int decimals = target.decimals;; --decimals) {
        int length = std::snprintf(text, sizeof text, "%*.*f", static_cast<int>(target.width), decimals, value);
        if (length <= static_cast<int>(target.width) || decimals <= 0) {
            break;
        }
    }
    Put(record, target, text);
}

void DbfFile::WriteNull(uint32_t record, int field)
{
    const DbfHeader::Field& target = NumericField(field);
    Put(record, target, std::string(target.width, '*'));
}

const DbfHeader::Field& DbfFile::NumericField(int field) const
{
    if (field < 0 || field >= FieldCount()) {
        RaiseHostError("No field " + std::to_string(field) + " in " + path_);
    }
    const DbfHeader::Field& target = header_.fields[static_cast<size_t>(field)];
    if (target.type != 'N' && target.type != 'F') {
        RaiseHostError("Only numeric fields are written in " + path_);
    }
    return target;
}

void DbfFile::Put(uint32_t record, const DbfHeader::Field& field, const std::string& text)
{
    if (record >= header_.recordCount) {
        RaiseHostError("No record " + std::to_string(record) + " in " + path_);
    }
    if (text.size() != field.width) {
        RaiseHostError("The value " + text + " does not fit a field of width " + std::to_string(field.width));
    }
    off_t at = static_cast<off_t>(header_.headerLength) + static_cast<off_t>(record) * header_.recordLength + 1 +
               field.offset;
    if (::pwrite(fd_, text.data(), text.size(), at) != static_cast<ssize_t>(text.size())) {
        RaiseHostError("Could not write " + path_ + ": " + std::strerror(errno));
    }
}

}  // namespace drennow::gdalhost
