#include <cstring>

#include "app/main_window.h"
#include "app/texts/texts.h"
#include "app/window_ops.h"
#include "device/devapi.h"
#include "operations/block_loop.h"
#include "operations/workers.h"

std::uint32_t BlankCheckWorker(MainWindow* window) {
    MainWindow& w = *window;
    AppState& state = w.state();
    setOperationControls(w, false);
    setSetupControls(w, false);
    appendLog(w, txt().blankStart);

    const std::uint32_t length = state.flashSize;
    std::unique_ptr<std::uint8_t[]> readBuffer = allocateWorkerBuffer(kBlockSize);
    std::unique_ptr<std::uint8_t[]> blank = allocateWorkerBuffer(kBlockSize);
    state.busy = 1;
    if (!readBuffer || !blank) {
        setOperationControls(w, true);
        setSetupControls(w, true);
        state.busy = 0;
        return 0;
    }
    std::memset(readBuffer.get(), 0x00, kBlockSize);
    std::memset(blank.get(), 0xFF, kBlockSize);

    progressStart(w);
    BlockStep end =
        runBlockLoop(w, length, false, txt().blankReadError, [&](std::uint32_t address, std::uint32_t n) {
            std::uint32_t done = 0;
            if (!DevRead(state.deviceHandle, readBuffer.get(), n, address, &done) || done != n) {
                return BlockStep::error;
            }
            return std::memcmp(readBuffer.get(), blank.get(), n) == 0 ? BlockStep::next
                                                                      : BlockStep::stop;
        });

    appendLog(w, end == BlockStep::next ? txt().blankYes : txt().blankNo);
    progressSetPos(w, 100);
    setOperationControls(w, true);
    setSetupControls(w, true);
    state.busy = 0;
    return 1;
}
