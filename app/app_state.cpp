#include "app/app_state.h"

namespace {
AppState* gState = new AppState();  // lives until the process ends
}

AppState& appState() { return *gState; }

void resetAppState() {
    AppState& s = *gState;
    s.startupPath[0] = '\0';
    s.startupFilePending = 0;
    s.eraseRequest = {};
    s.flashKind = 0;
    s.flashSize = 0;
    s.deviceHandle = -1;
    s.fileSelection = {};
    s.fileSizeHigh = 0;
    s.imageSize = 0;
    s.imageData.reset();
    s.busy = 0;
    s.oneKeyOptions = {};
    s.logLineCount = 0;
}
