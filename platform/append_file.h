// A file that is only ever appended to, each record with one write that the
// system makes durable before the call returns: a process killed at any
// moment loses at most the record it was writing. The file is never
// truncated or rewritten.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class AppendFile {
public:
    // Opens (creating it when missing) for appending; null and `error` set
    // to the system's reason when it can't.
    static std::unique_ptr<AppendFile> open(const std::string& path, std::string* error);
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // One write of all of `record`, then a flush to the disk; false when
    // either failed.
    bool append(const std::string& record);

private:
    explicit AppendFile(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;
};

}  // namespace platform
