#include "platform/gdal/StagedFile.h"

#include "platform/gdal/GdalError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace drennow::gdalhost {

namespace {

namespace fs = std::filesystem;

// Names tried before giving up: only files someone else put at this
// process's names take the first ones.
constexpr int kMostNames = 100;

std::string SystemError()
{
    return std::strerror(errno);
}

int64_t Nanoseconds(const timespec& time)
{
    return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

FileIdentity IdentityFrom(const struct stat& status)
{
    return {status.st_dev,
            status.st_ino,
            status.st_size,
            Nanoseconds(status.st_mtim),
            Nanoseconds(status.st_ctim),
            static_cast<mode_t>(status.st_mode & 07777)};
}

std::string StagedPrefix(const std::string& table, const char* kind)
{
    return table + ".drennow-" + kind + "-";
}

fs::path Folder(const std::string& file)
{
    fs::path folder = fs::path(file).parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

// A renamed file's new entry is durable only once its folder is.
void SyncFolder(const fs::path& folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

FileIdentity IdentityOf(int fd, const std::string& name)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        RaiseHostError("Could not examine " + name + ": " + SystemError());
    }
    return IdentityFrom(status);
}

std::optional<FileIdentity> IdentityOf(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return IdentityFrom(status);
}

void RaiseChanged(const std::string& notDone, const std::string& path, const std::string& since)
{
    RaiseHostError(notDone + ": " + path + " was changed by another program since " + since);
}

OpenFile::OpenFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
{
    if (fd_ < 0) {
        RaiseHostError("Could not open " + path + ": " + SystemError());
    }
}

OpenFile::~OpenFile()
{
    ::close(fd_);
}

StagedFile::StagedFile(const std::string& original, const char* kind, mode_t mode) : original_(original)
{
    std::string prefix = StagedPrefix(original, kind) + std::to_string(::getpid()) + "-";
    // O_EXCL fails at a name that is taken, by a link too.
    for (int n = 0; n < kMostNames && fd_ < 0; ++n) {
        path_ = prefix + std::to_string(n);
        fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (fd_ < 0 && errno != EEXIST) {
            RaiseHostError("Could not make " + path_ + ": " + SystemError());
        }
    }
    if (fd_ < 0) {
        RaiseHostError("Could not make a staged copy of " + original + ": every name for it is taken");
    }
    if (::fchmod(fd_, mode) != 0) {
        std::string reason = SystemError();
        ::close(fd_);
        ::unlink(path_.c_str());
        RaiseHostError("Could not give " + path_ + " the permissions of " + original + ": " + reason);
    }
}

StagedFile::~StagedFile()
{
    ::close(fd_);
    if (!replaced_) {
        ::unlink(path_.c_str());
    }
}

void StagedFile::WriteAt(const void* bytes, size_t count, off_t offset)
{
    const auto* from = static_cast<const char*>(bytes);
    while (count > 0) {
        ssize_t written = ::pwrite(fd_, from, count, offset);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            RaiseHostError("Could not write " + path_ + ": " + SystemError());
        }
        from += written;
        count -= static_cast<size_t>(written);
        offset += written;
    }
}

void StagedFile::CopyFrom(int fd, off_t size)
{
    off_t copied = 0;
    while (copied < size) {
        ssize_t sent = ::sendfile(fd_, fd, &copied, static_cast<size_t>(size - copied));
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            RaiseHostError("Could not copy " + original_ + " to " + path_ + ": " +
                           (sent == 0 ? std::string("it is shorter than it was") : SystemError()));
        }
    }
}

void StagedFile::ReplaceOriginal(const FileIdentity& original, const std::string& notDone, const std::string& since)
{
    if (::fsync(fd_) != 0) {
        RaiseHostError(notDone + ": could not write " + path_ + ": " + SystemError());
    }
    // Another program could still change the original between this look
    // and the rename; the window is that of one system call.
    if (IdentityOf(original_) != original) {
        RaiseChanged(notDone, original_, since);
    }
    if (::rename(path_.c_str(), original_.c_str()) != 0) {
        RaiseHostError(notDone + ": could not rename " + path_ + " to " + original_ + ": " + SystemError());
    }
    replaced_ = true;
    SyncFolder(Folder(original_));
}

void RemoveLeftovers(const std::string& table)
{
    std::string name = fs::path(table).filename().string();
    std::error_code error;
    for (fs::directory_iterator entry(Folder(table), error), end; !error && entry != end; entry.increment(error)) {
        std::string entryName = entry->path().filename().string();
        for (const char* kind : {kEditedCopy, kWidenedCopy}) {
            if (entryName.starts_with(StagedPrefix(name, kind))) {
                std::error_code ignored;
                fs::remove(entry->path(), ignored);
            }
        }
    }
}

}  // namespace drennow::gdalhost
