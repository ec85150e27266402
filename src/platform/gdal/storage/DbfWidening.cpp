#include "platform/gdal/storage/DbfWidening.h"

#include "platform/gdal/storage/DbfFile.h"
#include "platform/gdal/data/GdalError.h"
#include "platform/gdal/storage/StagedFile.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <strings.h>
#include <unistd.h>
#include <vector>

namespace drennow::gdalhost {

namespace {

constexpr size_t kLongestName = 10;
constexpr char kEndOfFile = 0x1A;
constexpr uint32_t kLongest = 65535;  // of the header and of a record
constexpr uint32_t kWidest = 255;

bool IsPlainName(const std::string& name)
{
    return !name.empty() && name.size() <= kLongestName &&
           std::all_of(name.begin(), name.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

void CheckAddable(const DbfHeader& header, const DbfField& field, const std::string& table)
{
    std::string notAdded = "The field " + field.name + " cannot be added to " + table;
    if (!IsPlainName(field.name)) {
        RaiseHostError(notAdded + ": a dBASE field name has 1 to 10 ASCII letters, digits or signs");
    }
    for (const DbfHeader::Field& existing : header.fields) {
        if (::strcasecmp(existing.name.c_str(), field.name.c_str()) == 0) {
            RaiseHostError(notAdded + ": it has a field of that name");
        }
    }
    size_t end = header.DescriptorsEnd();
    if (end >= header.headerLength || header.bytes[end] != DbfHeader::kDescriptorsEnd) {
        RaiseHostError(notAdded + ": its header does not end where its fields do");
    }
    if (field.width == 0 || field.width > kWidest || header.headerLength + DbfHeader::kDescriptorSize > kLongest ||
        header.recordLength + field.width > kLongest) {
        RaiseHostError(notAdded + ": there is no room for a field of width " + std::to_string(field.width));
    }
}

void PutLittleEndian(std::string& bytes, size_t at, uint32_t value, int count)
{
    for (int i = 0; i < count; ++i) {
        bytes[at + static_cast<size_t>(i)] = static_cast<char>(value >> (8 * i) & 0xFF);
    }
}

// The header with the field's descriptor where the descriptors end, the
// lengths that follow from it, and today's date (UTC), as GDAL dates a
// table it changes.
std::string WidenedHeader(const DbfHeader& header, const DbfField& field)
{
    std::string descriptor(DbfHeader::kDescriptorSize, '\0');
    descriptor.replace(0, field.name.size(), field.name);
    descriptor[11] = field.type;
    descriptor[16] = static_cast<char>(field.width);
    descriptor[17] = static_cast<char>(field.decimals);
    size_t end = header.DescriptorsEnd();
    std::string bytes = header.bytes.substr(0, end) + descriptor + header.bytes.substr(end);
    PutLittleEndian(bytes, 8, header.headerLength + DbfHeader::kDescriptorSize, 2);
    PutLittleEndian(bytes, 10, header.recordLength + field.width, 2);
    std::time_t now = std::time(nullptr);
    std::tm today{};
    ::gmtime_r(&now, &today);
    bytes[1] = static_cast<char>(today.tm_year);
    bytes[2] = static_cast<char>(today.tm_mon + 1);
    bytes[3] = static_cast<char>(today.tm_mday);
    return bytes;
}

// Every record followed by the field's empty value ('*' in a numeric field,
// as GDAL fills it, blanks in a text one), then the end-of-file mark.
void WriteWidenedRecords(int from, const DbfHeader& header, const DbfField& field, const std::string& table,
                         StagedFile& to, off_t at)
{
    size_t oldLength = header.recordLength;
    size_t newLength = oldLength + field.width;
    size_t perRead = std::max<size_t>(1, kDbfBytesPerRead / oldLength);
    std::vector<char> records(perRead * oldLength);
    std::vector<char> widened(perRead * newLength, field.type == 'N' ? '*' : ' ');
    off_t readAt = header.headerLength;
    for (uint32_t done = 0; done < header.recordCount;) {
        size_t count = std::min<size_t>(perRead, header.recordCount - done);
        ReadExactly(from, records.data(), count * oldLength, readAt, table);
        for (size_t i = 0; i < count; ++i) {
            std::memcpy(widened.data() + i * newLength, records.data() + i * oldLength, oldLength);
        }
        to.WriteAt(widened.data(), count * newLength, at);
        readAt += static_cast<off_t>(count * oldLength);
        at += static_cast<off_t>(count * newLength);
        done += static_cast<uint32_t>(count);
    }
    to.WriteAt(&kEndOfFile, 1, at);
}

}  // namespace

void AddDbfField(const std::string& table, const DbfField& field)
{
    OpenFile original(table);
    FileIdentity before = IdentityOf(original.Fd(), table);
    DbfHeader header = DbfHeader::Read(original.Fd(), table);
    CheckAddable(header, field, table);
    StagedFile widened(table, kWidenedCopy, before);
    std::string bytes = WidenedHeader(header, field);
    widened.WriteAt(bytes.data(), bytes.size(), 0);
    WriteWidenedRecords(original.Fd(), header, field, table, widened, static_cast<off_t>(bytes.size()));
    widened.ReplaceOriginal(before, "The field " + field.name + " was not added", "the field began to be added");
}

}  // namespace drennow::gdalhost
