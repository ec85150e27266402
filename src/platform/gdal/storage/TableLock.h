#pragma once

#include <memory>
#include <string>

namespace drennow::gdalhost {

// One run's claim to edit an attribute table, so that no other run edits it
// at the same time: an exclusive flock on "<table>.drennow-lock", which the
// system lets go of however the process ends. The file goes with the lock.
// A flock belongs to the open file, not to the process: a second claim
// from the same process is refused too, and no file GDAL opens or closes
// touches it.
class TableLock {
public:
    // The lock, or nothing when another run holds it or it cannot be taken,
    // with the reason, naming the table, in refusal.
    static std::unique_ptr<TableLock> Take(const std::string& table, std::string& refusal);
    ~TableLock();
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;

private:
    TableLock(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}

    std::string path_;
    int fd_;
};

}  // namespace drennow::gdalhost
