#include "app/main_window.h"
#include "app/texts/texts.h"
#include "app/window_ops.h"
#include "chip/direct_spi.h"
#include "device/devapi.h"
#include "operations/erase_animation.h"
#include "operations/workers.h"

std::uint32_t EraseWorker(EraseRequest* request) {
    MainWindow& w = *request->window;
    AppState& state = w.state();
    const int progressId = request->progressId;
    setAllControls(w, false);
    appendLog(w, txt().eraseProtect);
    releaseWriteProtection();
    appendLog(w, txt().eraseStart);
    startEraseAnimation(w, progressId);

    if (DevEraseAll(state.deviceHandle)) {
        appendLog(w, txt().eraseOk);
    } else {
        appendLog(w, txt().eraseSecondMethod);
        bool erased = eraseChipDirect();
        appendLog(w, erased ? txt().eraseDirectOk : txt().eraseFailed);
        DevSetFlashType(state.deviceHandle, state.flashKind, state.flashSize);
    }

    stopEraseAnimation(w);
    progressSetPos(w, progressId, 100);
    setAllControls(w, true);
    return 1;
}
