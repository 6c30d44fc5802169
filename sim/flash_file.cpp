#include "sim/flash_file.h"

#include <vector>

namespace vmsim {

std::unique_ptr<FlashFile> FlashFile::open(const std::string& path, FlashChip& chip,
                                           std::string* error) {
    if (File existing{std::fopen(path.c_str(), "rb")}) {
        std::vector<std::uint8_t> bytes(chip.capacity());
        const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), existing.get());
        if (std::ferror(existing.get())) {
            *error = "cannot read the flash file \"" + path + "\"";
            return nullptr;
        }
        bytes.resize(got);
        chip.load(0, bytes);
    }
    File file{std::fopen(path.c_str(), "w+b")};
    if (!file) {
        *error = "cannot write the flash file \"" + path + "\"";
        return nullptr;
    }
    std::unique_ptr<FlashFile> result(new FlashFile(std::move(file)));
    chip.takeDirty();
    if (!result->write(chip, {0, chip.capacity()})) {
        *error = "cannot write the flash file \"" + path + "\"";
        return nullptr;
    }
    return result;
}

bool FlashFile::write(const FlashChip& chip, FlashChip::Range range) {
    if (range.end <= range.begin) return true;
    std::FILE* file = file_.get();
    const std::size_t length = range.end - range.begin;
    return std::fseek(file, static_cast<long>(range.begin), SEEK_SET) == 0 &&
           std::fwrite(chip.cells().data() + range.begin, 1, length, file) == length &&
           std::fflush(file) == 0;
}

}  // namespace vmsim
