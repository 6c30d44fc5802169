// A file that is only ever appended to, each record with one write that the
// system makes durable before the call returns: a process killed at any
// moment loses at most the record it was writing. A record is written whole
// or not at all: when a write fails part of the way (a full disk, an I/O
// error, a file size limit), what it left is cut off again, and where that
// cannot be done the next record starts on a line of its own. The file is
// never truncated below what was there before a record, nor rewritten.
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
    // either failed, with lastError() saying why.
    bool append(const std::string& record);

    // The system's reason for the last failed append.
    const std::string& lastError() const { return error_; }

private:
    explicit AppendFile(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;
    // A failed write left part of a record that could not be cut off: the
    // next record begins with a line end.
    bool torn_ = false;
    std::string error_;
};

}  // namespace platform
