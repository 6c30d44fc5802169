#include <cstring>

#include "app/main_window.h"
#include "app/texts/texts.h"
#include "app/window_ops.h"
#include "operations/block_loop.h"
#include "operations/workers.h"

std::uint32_t VerifyWorker(MainWindow* window) {
    MainWindow& w = *window;
    AppState& state = w.state();
    std::unique_ptr<std::uint8_t[]> readBuffer = allocateWorkerBuffer(kBlockSize);
    if (state.flashSize == 0 || state.imageSize == 0 || !state.imageData || !readBuffer) {
        appendLog(w, txt().verifyNull);
        return 0;
    }
    std::memset(readBuffer.get(), 0, kBlockSize);
    setOperationControls(w, false);
    setSetupControls(w, false);
    appendLog(w, txt().verifyStart);
    state.busy = 1;
    progressStart(w);
    bool good = verifyImage(w, readBuffer.get(), txt().verifyReadError);
    appendLog(w, good ? txt().verifyPass : txt().verifyFail);
    progressSetPos(w, 100);
    setOperationControls(w, true);
    setSetupControls(w, true);
    state.busy = 0;
    return 1;
}
