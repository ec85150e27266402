#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace drennow::gdalhost {

// A dBASE table open for writing single numeric values in place: only the
// bytes of the value written change, every other byte of the file stays.
class DbfFile {
public:
    // Reads the header of the open file, which stays its opener's; raises
    // when it is not a dBASE table.
    DbfFile(int fd, std::string path);

    int FieldCount() const { return static_cast<int>(fields_.size()); }
    uint32_t RecordCount() const { return recordCount_; }

    // Writes the number right-aligned in the field's width with its decimals;
    // raises when the field is not numeric or the number does not fit.
    void WriteInteger(uint32_t record, int field, int64_t value);
    void WriteReal(uint32_t record, int field, double value);
    // A numeric field without a value, as dBASE writers mark it.
    void WriteNull(uint32_t record, int field);

private:
    struct Field {
        char type;
        uint32_t offset;  // within the record, after the deletion flag
        uint32_t width;
        int decimals;
    };

    const Field& NumericField(int field) const;
    void Put(uint32_t record, const Field& field, const std::string& text);

    int fd_;
    std::string path_;
    uint32_t recordCount_ = 0;
    uint32_t headerLength_ = 0;
    uint32_t recordLength_ = 0;
    std::vector<Field> fields_;
};

}  // namespace drennow::gdalhost
