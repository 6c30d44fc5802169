#include "sim/flash_file.h"

#include <vector>

#include "sim/flash_file_os.h"

namespace vmsim {

std::unique_ptr<FlashFile> FlashFile::open(const std::string& path, FlashChip& chip,
                                           std::string* error) {
    const std::string name = "the flash file \"" + path + "\"";
    std::string reason;
    File file{openInPlace(path, &reason)};
    if (!file) {
        *error = "cannot open " + name + ": " + reason;
        return nullptr;
    }
    reason = lockExclusive(file.get());
    if (!reason.empty()) {
        *error = name + " " + reason;
        return nullptr;
    }
    const std::uint64_t size = fileSize(file.get());
    if (size > chip.capacity()) {
        *error = name + " holds " + std::to_string(size) + " bytes, more than the emulated chip's " +
                 std::to_string(chip.capacity()) + " bytes (the chip's size is set with size=)";
        return nullptr;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        *error = "cannot read " + name;
        return nullptr;
    }
    chip.load(0, bytes);
    chip.takeDirty();
    // What the file holds stays as it is until the flash changes; a shorter
    // file gains the chip's bytes up to a change then.
    std::unique_ptr<FlashFile> result(new FlashFile(std::move(file)));
    result->size_ = static_cast<std::uint32_t>(size);
    return result;
}

bool FlashFile::write(const FlashChip& chip, FlashChip::Range range) {
    if (range.end <= range.begin) return true;
    // A change past the file's end: the chip's bytes between (erased, or
    // what a module brought) come first, so the file has no hole.
    if (range.begin > size_) range.begin = size_;
    std::FILE* file = file_.get();
    const std::size_t length = range.end - range.begin;
    const bool written = std::fseek(file, static_cast<long>(range.begin), SEEK_SET) == 0 &&
                         std::fwrite(chip.cells().data() + range.begin, 1, length, file) == length &&
                         std::fflush(file) == 0;
    if (written && range.end > size_) size_ = range.end;
    return written;
}

}  // namespace vmsim
