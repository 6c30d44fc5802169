// Keeps a flash chip's contents in a file: loaded when the file exists, and
// afterwards updated in place, range by range, as the contents change; a
// run that changes nothing leaves it as it was. The file is never truncated
// or written anew: a shorter one is completed with the chip's bytes (erased
// ones) when a change lies past its end, a larger one than the chip is
// refused untouched. The file is
// locked for as long as it is open, so that a second emulator on the same
// file is refused instead of overwriting the first one's pages.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "sim/flash_chip.h"

namespace vmsim {

class FlashFile {
public:
    // Loads `path` into `chip` and keeps the file open and locked; null and
    // `error` set (naming the file) when it can't be opened, locked, read or
    // completed, or holds more than the chip.
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
    std::uint32_t size_ = 0;  // the file's length
};

}  // namespace vmsim
