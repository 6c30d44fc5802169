#include "platform/files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

char pathSeparator() { return '/'; }
bool isPathSeparator(char c) { return c == '/'; }

FileLookup lookUpFile(const char* path) {
    FileLookup result;
    struct stat st;
    if (::stat(path, &st) != 0) {
        result.error = static_cast<std::uint32_t>(errno);
        return result;
    }
    result.found = true;
    result.size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    return result;
}

std::FILE* openForRead(const char* path, std::uint32_t* error) {
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = static_cast<std::uint32_t>(errno);
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        *error = S_ISDIR(st.st_mode) ? EISDIR : static_cast<std::uint32_t>(errno);
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        *error = static_cast<std::uint32_t>(errno);
        ::close(fd);
    }
    return file;
}

bool isSpecialFile(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0 && !S_ISREG(st.st_mode);
}

bool replaceFile(const char* from, const char* to) { return ::rename(from, to) == 0; }

void removeFile(const char* path) { ::unlink(path); }

}  // namespace platform
