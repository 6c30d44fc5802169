#include "sim/flash_file_os.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace vmsim {

namespace {

HANDLE handleOf(std::FILE* file) { return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file))); }

std::string systemError(DWORD code) { return "system error " + std::to_string(code); }

}  // namespace

std::FILE* openInPlace(const std::string& path, std::string* error) {
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = systemError(::GetLastError());
        return nullptr;
    }
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        *error = "not a regular file";
        ::CloseHandle(handle);
        return nullptr;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
    if (fd < 0) {
        *error = "no C run-time descriptor for the file";
        ::CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = ::_fdopen(fd, "r+b");
    if (file == nullptr) {
        *error = "no C run-time stream for the file";
        ::_close(fd);
    }
    return file;
}

std::uint64_t fileSize(std::FILE* file) {
    LARGE_INTEGER size;
    return ::GetFileSizeEx(handleOf(file), &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

// Windows locks are mandatory: a lock over the contents would stop every
// other program from even reading the file while the emulator runs. The
// lock covers one byte far beyond any flash size instead, so that it only
// keeps out another emulator, as flock does on Linux.
std::string lockExclusive(std::FILE* file) {
    OVERLAPPED where{};
    where.Offset = 0xFFFFFFFEu;
    where.OffsetHigh = 0x7FFFFFFFu;
    if (::LockFileEx(handleOf(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                     &where)) {
        return "";
    }
    const DWORD code = ::GetLastError();
    if (code == ERROR_LOCK_VIOLATION || code == ERROR_SHARING_VIOLATION) {
        return "is in use by another process";
    }
    return "cannot be locked: " + systemError(code);
}

}  // namespace vmsim
