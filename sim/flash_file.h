// Keeps a flash chip's contents in a file: loaded when the file exists
// (missing bytes read erased), then rewritten whole, and afterwards updated
// range by range as the contents change.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "sim/flash_chip.h"

namespace vmsim {

class FlashFile {
public:
    // Loads `path` into `chip` and keeps the file open; null and `error` set
    // when the file can't be read or written.
    static std::unique_ptr<FlashFile> open(const std::string& path, FlashChip& chip,
                                           std::string* error);

    // Writes bytes [range.begin, range.end) of the chip; false on an I/O error.
    bool write(const FlashChip& chip, FlashChip::Range range);

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    using File = std::unique_ptr<std::FILE, Closer>;

    explicit FlashFile(File file) : file_(std::move(file)) {}

    File file_;
};

}  // namespace vmsim
