#include "app/window_context.h"

#include "app/control_ids.h"
#include "app/main_window.h"
#include "app/window_ops.h"

void WindowWorkerContext::log(const std::string& line) { appendLog(window_, line); }
void WindowWorkerContext::stepStarted(WorkerStep step) {
    window_.host().runOnWindowThread([&] { window_.host().workerStepStarted(step); });
}
bool WindowWorkerContext::stopRequested() const { return window_.stopRequested(); }
void WindowWorkerContext::setOperationControls(bool on) { ::setOperationControls(window_, on); }
void WindowWorkerContext::setSetupControls(bool on) { ::setSetupControls(window_, on); }
void WindowWorkerContext::progressStart() { ::progressStart(window_); }
void WindowWorkerContext::progressSetPos(int pos) { ::progressSetPos(window_, pos); }
void WindowWorkerContext::progressSetPos(int barId, int pos) {
    ::progressSetPos(window_, barId, pos);
}
int WindowWorkerContext::progressBarId() const { return ids::kProgressBar; }

void WindowWorkerContext::startEraseTimer() {
    window_.host().runOnWindowThread(
        [&] { window_.host().setTimer(ids::kEraseTimer, ids::kEraseTimerMs); });
}

void WindowWorkerContext::stopEraseTimer() {
    window_.host().runOnWindowThread([&] { window_.host().killTimer(ids::kEraseTimer); });
}

EraseAnimation& WindowWorkerContext::eraseAnimation() { return window_.eraseAnimation(); }

void WindowWorkerContext::showImageSummary() {
    window_.host().runOnWindowThread([&] { window_.onCommand(ids::kShowSummary); });
}

DeviceHandle WindowWorkerContext::device() const { return window_.state().deviceHandle; }
std::int32_t WindowWorkerContext::flashKind() const { return window_.state().flashKind; }
std::uint32_t WindowWorkerContext::flashSize() const { return window_.state().flashSize; }

OneKeySteps WindowWorkerContext::oneKeySteps() const {
    const OneKeyOptions& options = window_.state().oneKeyOptions;
    return OneKeySteps{options.erase != 0, options.program != 0, options.verify != 0};
}

void WindowWorkerContext::setBusy(bool busy) { window_.workerSetBusy(busy); }
const std::uint8_t* WindowWorkerContext::image() const { return window_.state().imageData.get(); }
std::uint32_t WindowWorkerContext::imageSize() const { return window_.state().imageSize; }

std::uint8_t* WindowWorkerContext::adoptImage(std::unique_ptr<std::uint8_t[]> buffer) {
    AppState& state = window_.state();
    state.imageData = std::move(buffer);
    state.imageSize = 0;
    return state.imageData.get();
}

void WindowWorkerContext::addImageBytes(std::uint32_t bytes) { window_.state().imageSize += bytes; }
