#include <cstring>

#include "app/control_ids.h"
#include "app/main_window.h"
#include "app/texts/texts.h"
#include "app/window_ops.h"
#include "device/devapi.h"
#include "operations/block_loop.h"
#include "operations/workers.h"

std::uint32_t ReadWorker(MainWindow* window) {
    MainWindow& w = *window;
    AppState& state = w.state();
    setOperationControls(w, false);
    setSetupControls(w, false);
    appendLog(w, txt().readStart);

    const std::uint32_t length = state.flashSize;
    std::unique_ptr<std::uint8_t[]> buffer = allocateWorkerBuffer(length);
    if (!buffer) {
        setOperationControls(w, true);
        setSetupControls(w, true);
        state.busy = 0;
        return 0;
    }
    std::memset(buffer.get(), 0, length);
    std::uint8_t* image = buffer.get();
    state.imageData = std::move(buffer);
    state.imageSize = 0;
    state.busy = 1;

    progressStart(w);
    runBlockLoop(w, length, false, txt().readError, [&](std::uint32_t address, std::uint32_t n) {
        std::uint32_t done = 0;
        if (!DevRead(state.deviceHandle, image + address, n, address, &done) || done != n) {
            return BlockStep::error;
        }
        state.imageSize += n;
        return BlockStep::next;
    });

    appendLog(w, txt().readDone);
    progressSetPos(w, 100);
    w.host().runOnWindowThread([&] { w.onCommand(ids::kShowSummary); });
    setOperationControls(w, true);
    setSetupControls(w, true);
    state.busy = 0;
    return 1;
}
