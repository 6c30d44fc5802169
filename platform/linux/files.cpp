#include "platform/files.h"

#include <cerrno>
#include <climits>
#include <cstring>
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

bool replaceFile(const char* from, const char* to) {
    struct stat st;
    if (::stat(to, &st) == 0 && S_ISREG(st.st_mode) && ::chmod(from, st.st_mode & 07777) != 0) {
        return false;
    }
    return ::rename(from, to) == 0;
}

std::string saveTarget(const char* path) {
    std::string target = path;
    // At most as many links as the system follows in one lookup.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX), '\0');
        ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n <= 0) break;
        link.resize(static_cast<std::size_t>(n));
        if (link.front() == '/') {
            target = link;
        } else {
            std::size_t slash = target.find_last_of('/');
            target = slash == std::string::npos ? link : target.substr(0, slash + 1) + link;
        }
    }
    return target;
}

bool canCreateIn(const char* path, std::uint32_t* error) {
    if (::access(path, W_OK | X_OK) == 0) return true;
    *error = static_cast<std::uint32_t>(errno);
    return false;
}

std::string errorText(std::uint32_t error) { return std::strerror(static_cast<int>(error)); }

void removeFile(const char* path) { ::unlink(path); }

}  // namespace platform
