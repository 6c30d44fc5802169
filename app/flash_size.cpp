#include "app/flash_size.h"

#include <cctype>

#include "app/control_ids.h"
#include "app/main_window.h"
#include "app/programmer_session.h"
#include "app/window_ops.h"

const FlashSizeEntry FlashSizeTable[kFlashSizeCount] = {
    {"256Kbit", 32768},   {"512Kbit", 65536},   {"1  Mbit", 131072},  {"2  Mbit", 262144},
    {"4  Mbit", 524288},  {"8  Mbit", 1048576}, {"16 Mbit", 2097152}, {"32 Mbit", 4194304},
    {"64 Mbit", 8388608}, {"128Mbit", 16777216},
};

void fillFlashSizeList(MainWindow& window) {
    window.host().runOnWindowThread([&] {
        for (const FlashSizeEntry& entry : FlashSizeTable) {
            window.host().listAddString(ids::kFlashSizeList, entry.label);
        }
        window.host().listSelect(ids::kFlashSizeList, kDefaultFlashSizeIndex);
    });
}

void setFlash(MainWindow& window) {
    const int index = window.host().listSelection(ids::kFlashSizeList);
    // The list is never empty; an index outside it means no selection.
    if (index < 0 || index >= kFlashSizeCount) return;
    const SetFlashResult result = window.session().setFlash(index);
    setOperationControls(window, result.taken);
}

namespace {

// Lower case, without blanks: how sizes are compared.
std::string squeeze(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != ' ') out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

}  // namespace

int flashSizeIndexOf(const std::string& text) {
    const std::string wanted = squeeze(text);
    for (int i = 0; i < kFlashSizeCount; ++i) {
        if (squeeze(FlashSizeTable[i].label) == wanted || std::to_string(FlashSizeTable[i].size) == wanted)
            return i;
    }
    return -1;
}

bool isAutomaticSize(const std::string& text) { return squeeze(text) == "auto"; }
