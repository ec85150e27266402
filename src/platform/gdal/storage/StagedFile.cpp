#include "platform/gdal/storage/StagedFile.h"

#include "platform/gdal/data/GdalError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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
            static_cast<mode_t>(status.st_mode & 07777),
            status.st_uid,
            status.st_gid};
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

// Named as staged files are: "<table>.drennow-<kind>-<process id>-<n>".
bool IsStagedName(const std::string& name, const std::string& prefix)
{
    if (!name.starts_with(prefix)) {
        return false;
    }
    std::string rest = name.substr(prefix.size());
    size_t dash = rest.find('-');
    auto digits = [](const std::string& text) {
        return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    };
    return dash != std::string::npos && digits(rest.substr(0, dash)) && digits(rest.substr(dash + 1));
}

bool IsLeftover(const fs::path& entry, const std::string& prefix, uid_t tableOwner)
{
    struct stat status {};
    return IsStagedName(entry.filename().string(), prefix) && ::lstat(entry.c_str(), &status) == 0 &&
           S_ISREG(status.st_mode) && status.st_nlink == 1 &&
           (status.st_uid == tableOwner || status.st_uid == ::geteuid());
}

std::string UserName(uid_t user)
{
    passwd entry {};
    passwd* found = nullptr;
    char buffer[4096];
    ::getpwuid_r(user, &entry, buffer, sizeof buffer, &found);
    return found ? std::string(found->pw_name) : std::to_string(user);
}

std::string GroupName(gid_t group)
{
    struct group entry {};
    struct group* found = nullptr;
    char buffer[4096];
    ::getgrgid_r(group, &entry, buffer, sizeof buffer, &found);
    return found ? std::string(found->gr_name) : std::to_string(group);
}

// Whether the file or folder is marked append-only or immutable (chattr),
// which keeps even root from replacing it or an entry in it.
bool IsMarkedUnchangeable(const fs::path& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool marked = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0;
    ::close(fd);
    return marked;
}

bool IsMemberOf(gid_t group)
{
    if (group == ::getegid()) {
        return true;
    }
    std::vector<gid_t> groups(static_cast<size_t>(std::max(::getgroups(0, nullptr), 0)));
    int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
    return std::find(groups.begin(), groups.begin() + std::max(count, 0), group) != groups.end();
}

}  // namespace

std::string EditedFile(const std::string& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
        return path;
    }
    std::error_code error;
    fs::path target = fs::canonical(path, error);
    return error ? path : target.string();
}

std::string WhyNotReplaceable(const std::string& file)
{
    fs::path folder = Folder(file);
    struct stat status {};
    struct stat folderStatus {};
    if (::stat(file.c_str(), &status) != 0 || ::stat(folder.c_str(), &folderStatus) != 0) {
        return "Could not examine " + file + ": " + SystemError();
    }
    // Edits are saved by a new file taking the table's name: other names
    // of the table would keep the old one.
    if (status.st_nlink > 1) {
        return file + " has other names (hard links), which its saved copy would not reach: make it a file of "
                      "its own (copy it, then move the copy over it) to edit it";
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return folder.string() + " cannot be written (" + SystemError() + "): the edits of " + file +
               " are saved there in a copy that takes its place";
    }
    for (const fs::path& marked : {fs::path(file), folder}) {
        if (IsMarkedUnchangeable(marked)) {
            return marked.string() + " is marked append-only or immutable (lsattr shows it): " + file +
                   " cannot be replaced by its saved copy";
        }
    }
    // Root may replace and give away any file.
    uid_t user = ::geteuid();
    if (user == 0) {
        return "";
    }
    if ((folderStatus.st_mode & S_ISVTX) != 0 && status.st_uid != user && folderStatus.st_uid != user) {
        return file + " belongs to " + UserName(status.st_uid) + " in " + folder.string() +
               ", a shared folder (sticky bit) where only a file's owner may replace it: run as its owner";
    }
    if (status.st_uid != user) {
        return file + " belongs to " + UserName(status.st_uid) +
               ": its saved copy would belong to you, so run as its owner";
    }
    // A folder with the set-group-id bit gives its group to the copy.
    bool inherited = (folderStatus.st_mode & S_ISGID) != 0 && folderStatus.st_gid == status.st_gid;
    if (!IsMemberOf(status.st_gid) && !inherited) {
        return file + " belongs to the group " + GroupName(status.st_gid) +
               ", which you are not a member of: its saved copy could not keep it, so run as a member";
    }
    return "";
}

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

StagedFile::StagedFile(const std::string& original, const char* kind, const FileIdentity& like)
    : original_(original)
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
    // A change of owner clears the set-user-id and set-group-id bits: the
    // permissions come after it.
    if (::fchown(fd_, like.owner, like.group) != 0 || ::fchmod(fd_, like.mode) != 0) {
        std::string reason = SystemError();
        ::close(fd_);
        ::unlink(path_.c_str());
        RaiseHostError("Could not give " + path_ + " the owner, group and permissions of " + original + ": " +
                       reason);
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
    std::optional<FileIdentity> identity = IdentityOf(table);
    if (!identity) {
        return;
    }
    std::string name = fs::path(table).filename().string();
    std::error_code error;
    for (fs::directory_iterator entry(Folder(table), error), end; !error && entry != end; entry.increment(error)) {
        for (const char* kind : {kEditedCopy, kWidenedCopy}) {
            if (IsLeftover(entry->path(), StagedPrefix(name, kind), identity->owner)) {
                ::unlink(entry->path().c_str());
            }
        }
    }
}

}  // namespace drennow::gdalhost
