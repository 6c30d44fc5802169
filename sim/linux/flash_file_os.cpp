#include "sim/flash_file_os.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vmsim {

std::FILE* openInPlace(const std::string& path, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = std::strerror(errno);
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = "not a regular file";
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "r+b");
    if (file == nullptr) {
        *error = std::strerror(errno);
        ::close(fd);
    }
    return file;
}

std::uint64_t fileSize(std::FILE* file) {
    struct stat st;
    return ::fstat(::fileno(file), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// flock: the lock belongs to this open of the file, so a second open conflicts
// even within one process, and it ends with the last descriptor.
std::string lockExclusive(std::FILE* file) {
    if (::flock(::fileno(file), LOCK_EX | LOCK_NB) == 0) return "";
    if (errno == EWOULDBLOCK) return "is in use by another process";
    return std::string("cannot be locked: ") + std::strerror(errno);
}

}  // namespace vmsim
