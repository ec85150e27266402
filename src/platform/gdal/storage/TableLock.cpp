#include "platform/gdal/storage/TableLock.h"

#include "platform/gdal/storage/StagedFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace drennow::gdalhost {

std::unique_ptr<TableLock> TableLock::Take(const std::string& table, std::string& refusal)
{
    std::string path = table + ".drennow-lock";
    while (true) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            refusal = table + " cannot be locked for editing: " + std::strerror(errno);
            return nullptr;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            int error = errno;
            ::close(fd);
            refusal = error == EWOULDBLOCK
                          ? table + " is being edited by another run of drennow; try again once that run has ended"
                          : table + " cannot be locked for editing: " + std::strerror(error);
            return nullptr;
        }
        // The run that held the lock may have removed the file meanwhile:
        // the lock is then on a file nobody else will find.
        std::optional<FileIdentity> named = IdentityOf(path);
        FileIdentity locked = IdentityOf(fd, path);
        if (named && named->device == locked.device && named->inode == locked.inode) {
            return std::unique_ptr<TableLock>(new TableLock(path, fd));
        }
        ::close(fd);
    }
}

TableLock::~TableLock()
{
    // Removed while still held: whoever opens the name next makes a new file.
    ::unlink(path_.c_str());
    ::close(fd_);
}

}  // namespace drennow::gdalhost
