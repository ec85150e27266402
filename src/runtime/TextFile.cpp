#include "runtime/TextFile.h"

#include "runtime/Error.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace drennow::runtime {

namespace {

[[noreturn]] void RaiseFileError(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
        Raise(kPathNotFound);
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        Raise(kPermissionDenied);
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        Raise(kDiskFull);
    default:
        Raise(kPathFileAccessError);
    }
}

std::string FolderOf(const std::string& path)
{
    size_t separator = path.find_last_of('/');
    if (separator == std::string::npos) {
        return ".";
    }
    return separator == 0 ? "/" : path.substr(0, separator);
}

// Made readable as any new file of the user's would be.
void GiveUsualPermissions(int fd)
{
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
}

bool WriteAll(int fd, const std::string& text)
{
    size_t written = 0;
    while (written < text.size()) {
        ssize_t got = ::write(fd, text.data() + written, text.size() - written);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        written += static_cast<size_t>(got);
    }
    return ::fsync(fd) == 0;
}

void SyncFolder(const std::string& folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

PreparedFile::PreparedFile(std::string path, const std::string& text) : path_(std::move(path))
{
    struct stat existing {};
    if (::lstat(path_.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
        RaiseFileError(EISDIR);
    }
    std::string temporary = path_ + ".XXXXXX";
    // Created exclusively: a name planted in advance is never opened.
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        RaiseFileError(errno);
    }
    GiveUsualPermissions(fd);
    bool written = WriteAll(fd, text);
    int writeError = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        writeError = errno;
    }
    if (!written) {
        ::unlink(temporary.c_str());
        RaiseFileError(writeError);
    }
    temporary_ = std::move(temporary);
}

PreparedFile::~PreparedFile()
{
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
    }
}

PreparedFile::PreparedFile(PreparedFile&& other) noexcept
    : path_(std::move(other.path_)), temporary_(std::move(other.temporary_))
{
    other.temporary_.clear();
}

void PreparedFile::Commit()
{
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
        RaiseFileError(errno);
    }
    temporary_.clear();
    SyncFolder(FolderOf(path_));
}

void ReplaceFile(const std::string& path, const std::string& text)
{
    PreparedFile(path, text).Commit();
}

}  // namespace drennow::runtime
