#include "app/main_window.h"
#include "app/texts/texts.h"
#include "app/window_ops.h"
#include "operations/block_loop.h"
#include "operations/workers.h"

std::uint32_t ProgramWorker(MainWindow* window) {
    MainWindow& w = *window;
    AppState& state = w.state();
    if (state.flashSize == 0 || state.imageSize == 0 || !state.imageData) {
        appendLog(w, txt().programNull);
        return 0;
    }
    setOperationControls(w, false);
    setSetupControls(w, false);
    appendLog(w, txt().programStart);
    state.busy = 1;
    progressStart(w);
    bool ok = programImage(w, txt().programError);
    appendLog(w, ok ? txt().programDone : txt().programFail);
    progressSetPos(w, 100);
    setOperationControls(w, true);
    setSetupControls(w, true);
    state.busy = 0;
    return 1;
}
