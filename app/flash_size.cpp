#include "app/flash_size.h"

#include "app/control_ids.h"
#include "app/main_window.h"
#include "texts/texts.h"
#include "app/window_ops.h"
#include "device/devapi.h"

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
    AppState& state = window.state();
    int index = window.host().listSelection(ids::kFlashSizeList);
    // The list is never empty; an index outside it means no selection.
    if (index < 0 || index >= kFlashSizeCount) return;
    state.flashKind = kSetFlashKind;
    state.flashSize = FlashSizeTable[index].size;
    if (DevSetFlashType(state.deviceHandle, state.flashKind, state.flashSize)) {
        appendLog(window, txt().setFlashOk);
        if (state.imageSize > state.flashSize) appendLog(window, txt().setFlashTooLarge);
        setOperationControls(window, true);
    } else {
        appendLog(window, txt().setFlashFail);
        setOperationControls(window, false);
    }
}
