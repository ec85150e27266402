#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace drennow::gdalhost {

// The header of a dBASE table: its counts and lengths, its field
// descriptors, and its bytes as stored.
struct DbfHeader {
    struct Field {
        std::string name;
        char type;
        uint32_t offset;  // within the record, after the deletion flag
        uint32_t width;
        int decimals;
    };

    static constexpr size_t kFixedSize = 32;  // before the field descriptors
    static constexpr size_t kDescriptorSize = 32;
    static constexpr char kDescriptorsEnd = 0x0D;

    uint32_t recordCount = 0;
    uint32_t headerLength = 0;
    uint32_t recordLength = 0;
    std::vector<Field> fields;
    std::string bytes;  // the first headerLength bytes of the file

    // Reads it from the open file; raises when it is not a dBASE table's.
    static DbfHeader Read(int fd, const std::string& path);
    // Where the field descriptors end, which the header marks.
    size_t DescriptorsEnd() const { return kFixedSize + fields.size() * kDescriptorSize; }
};

// How much of a table is read at once when its records are gone through.
inline constexpr size_t kDbfBytesPerRead = 1 << 20;

// Reads the count of bytes at the offset of the table's open file; raises
// when they cannot be read, or the file ends before them.
void ReadExactly(int fd, char* into, size_t count, off_t at, const std::string& table);

// How many of the first records of the table's open file are flagged as
// deleted ('*' before their values), which GDAL's readers skip. Raises when
// they cannot be read.
uint32_t CountDeletedRecords(int fd, const std::string& table, uint32_t records);

// A dBASE table open for writing single numeric values in place: only the
// bytes of the value written change, every other byte of the file stays.
class DbfFile {
public:
    // Reads the header of the open file, which stays its opener's; raises
    // when it is not a dBASE table.
    DbfFile(int fd, std::string path);

    int FieldCount() const { return static_cast<int>(header_.fields.size()); }
    uint32_t RecordCount() const { return header_.recordCount; }

    // Writes the number right-aligned in the field's width with its decimals,
    // or as many of them as the digits before the point leave room for;
    // raises when the field is not numeric or the number does not fit.
    void WriteInteger(uint32_t record, int field, int64_t value);
    void WriteReal(uint32_t record, int field, double value);
    // A numeric field without a value, as dBASE writers mark it.
    void WriteNull(uint32_t record, int field);

private:
    const DbfHeader::Field& NumericField(int field) const;
    void Put(uint32_t record, const DbfHeader::Field& field, const std::string& text);

    int fd_;
    std::string path_;
    DbfHeader header_;
};

}  // namespace drennow::gdalhost
