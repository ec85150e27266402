#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace drennow::gdalhost {

// What tells a file from another one and from its own earlier states: where
// it is stored, its size, the times its bytes and its entry last changed,
// its permissions, owner and group.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the open file; raises when it cannot be had.
FileIdentity IdentityOf(int fd, const std::string& name);
// The identity of the file at the path; nothing when there is none.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// The file that edits through the path change: the path itself or, when it
// names a symbolic link, the file at the end of its links. A staged copy
// goes beside that file and takes its place, so the link stays a link.
std::string EditedFile(const std::string& path);

// Why a staged copy beside the file could not take its place as the same
// file: other names (hard links) that would keep the old bytes, a folder
// that refuses the copy or the rename, an owner or group the copy could
// not be given. Empty when it can.
std::string WhyNotReplaceable(const std::string& file);

// Raises "<notDone>: <path> was changed by another program since <since>".
[[noreturn]] void RaiseChanged(const std::string& notDone, const std::string& path, const std::string& since);

// A file open for reading, closed when it goes.
class OpenFile {
public:
    // Raises when it cannot be opened.
    explicit OpenFile(const std::string& path);
    ~OpenFile();
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int Fd() const { return fd_; }

private:
    int fd_;
};

// A new file beside an original, named "<original>.drennow-<kind>-<process
// id>-<n>" and made exclusively under a name no file or link has: whatever
// someone else put at such a name is never written through nor followed.
// It has the original's owner, group and permissions (those of the
// identity given). Unless it has replaced the original, it is removed when
// it goes.
class StagedFile {
public:
    StagedFile(const std::string& original, const char* kind, const FileIdentity& like);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }

    // Writes all the bytes at the offset; raises when they cannot be.
    void WriteAt(const void* bytes, size_t count, off_t offset);
    // Copies the first size bytes of the open file to its start.
    void CopyFrom(int fd, off_t size);
    // Its bytes reach the disk; then, if the original is still the file it
    // was, it takes the original's name and the folder's new entry reaches
    // the disk too. Raises "<notDone>: <original> was changed by another
    // program since <since>" when the original has changed.
    void ReplaceOriginal(const FileIdentity& original, const std::string& notDone, const std::string& since);

private:
    std::string original_;
    std::string path_;
    int fd_ = -1;
    bool replaced_ = false;
};

// The kinds of staged file: the copy an edit session writes, and the table
// with a field added.
inline constexpr const char* kEditedCopy = "staged";
inline constexpr const char* kWidenedCopy = "widened";

// Removes the staged files of the table that runs ended by a kill left
// behind: files of one name each, named as staged files are, that belong
// to the table's owner or to this user. Only the holder of the table's lock
// may call it: no other run is then writing one.
void RemoveLeftovers(const std::string& table);

}  // namespace drennow::gdalhost
