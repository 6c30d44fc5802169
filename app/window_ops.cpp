#include "app/window_ops.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "app/app_state.h"
#include "app/control_ids.h"
#include "app/main_window.h"

namespace {
const int kOperationGroup[] = {ids::kRead,    ids::kErase,  ids::kBlank,
                               ids::kProgram, ids::kVerify, ids::kOneKey};
const int kSetupButtons[] = {ids::kSetFlash, ids::kLoad};
const int kSetupMenuItems[] = {ids::kOpenFile, ids::kSaveFile, ids::kExit};
}  // namespace

void appendLog(MainWindow& window, const std::string& text) {
    window.host().runOnWindowThread([&] {
        AppState& state = window.state();
        WindowHost& host = window.host();
        if (state.logLineCount > kLogLineLimit - 1) {
            for (int i = host.logLineCount() - 1; i >= 0; --i) host.logDeleteLine(i);
            state.logLineCount = 0;
        }
        host.logAppend(text);
        host.logSetTopIndex(static_cast<int>(state.logLineCount));
        ++state.logLineCount;
    });
}

void appendLogf(MainWindow& window, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        text.assign(buffer.data(), static_cast<size_t>(length));
    }
    va_end(args);
    appendLog(window, text);
}

void setOperationControls(MainWindow& window, bool on) {
    window.host().runOnWindowThread([&] {
        for (int id : kOperationGroup) window.host().enableControl(id, on);
    });
}

void setSetupControls(MainWindow& window, bool on) {
    window.host().runOnWindowThread([&] {
        for (int id : kSetupButtons) window.host().enableControl(id, on);
        for (int id : kSetupMenuItems) window.host().enableMenuItem(id, on);
    });
}

void setAllControls(MainWindow& window, bool on) {
    setOperationControls(window, on);
    setSetupControls(window, on);
}

void progressStart(MainWindow& window) {
    window.host().runOnWindowThread([&] {
        window.host().progressSetRange(0, 100);
        window.host().progressSetPos(0);
    });
}

void progressSetPos(MainWindow& window, int id, int pos) {
    // The window has one progress bar; other ids name nothing.
    if (id != ids::kProgressBar) return;
    window.host().runOnWindowThread([&] { window.host().progressSetPos(pos); });
}

void progressSetPos(MainWindow& window, int pos) { progressSetPos(window, ids::kProgressBar, pos); }
