#include "platform/append_file.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::unique_ptr<AppendFile> AppendFile::open(const std::string& path, std::string* error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<AppendFile>(new AppendFile(fd));
}

AppendFile::~AppendFile() { ::close(static_cast<int>(handle_)); }

bool AppendFile::append(const std::string& record) {
    const int fd = static_cast<int>(handle_);
    const std::string text = torn_ ? "\n" + record : record;
    // One write; a short one (a full disk, a file size limit) is followed by
    // a second for the rest, which tells the reason (ENOSPC, EFBIG, EIO).
    std::size_t written = 0;
    int reason = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            reason = n < 0 ? errno : ENOSPC;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    if (written == text.size()) {
        torn_ = false;
        if (::fsync(fd) == 0) return true;
        error_ = std::strerror(errno);
        return false;
    }
    error_ = std::strerror(reason);
    if (written > 0) {
        // Cut off what this record left: the file ends where our write
        // ended (the offset after an append), unless another writer added
        // to it since; then the next record starts on a new line.
        const off_t end = ::lseek(fd, 0, SEEK_CUR);
        const off_t cut = end - static_cast<off_t>(written);
        struct stat status{};
        if (cut >= 0 && ::fstat(fd, &status) == 0 && status.st_size == end && ::ftruncate(fd, cut) == 0) {
            ::fsync(fd);
        } else {
            torn_ = true;
        }
    }
    return false;
}

}  // namespace platform
