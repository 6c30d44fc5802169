#include <cstring>

#include "app/control_ids.h"
#include "app/main_window.h"
#include "app/texts/texts.h"
#include "app/window_ops.h"
#include "chip/direct_spi.h"
#include "device/devapi.h"
#include "operations/block_loop.h"
#include "operations/erase_animation.h"
#include "operations/workers.h"

namespace {

// Ends a run that stopped early: controls back, not busy.
std::uint32_t stopRun(MainWindow& w) {
    setAllControls(w, true);
    w.state().busy = 0;
    return 0;
}

// The erase step; false when both methods failed (the run then stops).
bool eraseStep(MainWindow& w) {
    AppState& state = w.state();
    const Texts& t = txt();
    startEraseAnimation(w, ids::kProgressBar);
    if (DevEraseAll(state.deviceHandle)) {
        appendLog(w, t.oneKeyEraseOk);
    } else {
        appendLog(w, t.oneKeySecondMethod);
        if (!eraseChipDirect()) {
            DevSetFlashType(state.deviceHandle, state.flashKind, state.flashSize);
            appendLog(w, t.oneKeyEraseFailed);
            stopEraseAnimation(w);
            return false;
        }
        appendLog(w, t.oneKeyEraseDirectOk);
        DevSetFlashType(state.deviceHandle, state.flashKind, state.flashSize);
    }
    stopEraseAnimation(w);
    return true;
}

}  // namespace

std::uint32_t OneKeyWorker(MainWindow* window) {
    MainWindow& w = *window;
    AppState& state = w.state();
    const OneKeyOptions options = state.oneKeyOptions;
    const Texts& t = txt();
    if (!options.erase && !options.program && !options.verify) return 0;
    if (state.flashSize == 0 || state.imageSize == 0 || !state.imageData) {
        appendLog(w, t.oneKeyNull);
        return 0;
    }
    setAllControls(w, false);
    state.busy = 1;
    progressStart(w);

    appendLog(w, t.oneKeyProtect);
    releaseWriteProtection();
    appendLog(w, t.oneKeyEraseStart);
    if (options.erase && !eraseStep(w)) return stopRun(w);

    if (options.program) {
        appendLog(w, t.oneKeyProgramStart);
        progressStart(w);
        bool ok = programImage(w, t.oneKeyProgramError);
        progressSetPos(w, 100);
        if (!ok) {
            appendLog(w, t.oneKeyProgramFail);
            return stopRun(w);
        }
        appendLog(w, t.oneKeyProgramDone);
    }

    if (options.verify) {
        // Without memory for the read-back there is no verdict to give: say
        // so instead of passing.
        std::unique_ptr<std::uint8_t[]> readBuffer = allocateWorkerBuffer(kBlockSize);
        if (!readBuffer) {
            appendLog(w, t.verifyNull);
            return stopRun(w);
        }
        std::memset(readBuffer.get(), 0, kBlockSize);
        appendLog(w, t.oneKeyVerifyStart);
        progressStart(w);
        bool good = verifyImage(w, readBuffer.get(), t.oneKeyVerifyReadError);
        appendLog(w, good ? t.oneKeyVerifyPass : t.oneKeyVerifyFail);
        progressSetPos(w, 100);
    }

    state.busy = 0;
    setAllControls(w, true);
    return 1;
}

void runOneKeyDownload(MainWindow& window) {
    AppState& state = window.state();
    OneKeyOptions& options = state.oneKeyOptions;
    options.accepted = 0;
    OneKeyChoice shown{options.erase, options.program, options.verify};
    OneKeyChoice chosen = shown;
    if (window.host().runOneKeyDialog(shown, chosen)) {
        options.accepted = 1;
        options.erase = chosen.erase;
        options.program = chosen.program;
        options.verify = chosen.verify;
    }
    if (options.accepted == 1) window.startWorker([&window] { OneKeyWorker(&window); });
}
