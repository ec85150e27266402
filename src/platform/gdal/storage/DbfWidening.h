#pragma once

#include <cstdint>
#include <string>

namespace drennow::gdalhost {

// A field to add to a dBASE table.
struct DbfField {
    std::string name;  // 1 to 10 ASCII characters
    char type;         // 'N' numeric, 'C' text
    uint32_t width;
    int decimals;
};

// Adds the field to the table, empty in every record, all or nothing: the
// widened table is written beside it and takes its place once it is
// complete and on the disk, so a kill at any moment leaves the old table or
// the new one. Every other byte of each record stays as it was; the header
// gets the field's descriptor and today's date. Raises, the table
// unchanged, when the field cannot be added to it, when the widened table
// cannot be written, or when another program changes the table meanwhile.
// Only the holder of the table's lock may call it.
void AddDbfField(const std::string& table, const DbfField& field);

}  // namespace drennow::gdalhost
