#include "platform/append_file.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
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
    ssize_t written;
    do {
        written = ::write(fd, record.data(), record.size());
    } while (written < 0 && errno == EINTR);
    if (written != static_cast<ssize_t>(record.size())) return false;
    return ::fsync(fd) == 0;
}

}  // namespace platform
