#include "app/session_context.h"

#include "app/control_ids.h"
#include "app/programmer_session.h"

void SessionWorkerContext::log(const std::string& line) { session_.log(line); }

void SessionWorkerContext::stepStarted(WorkerStep step) {
    if (SessionObserver* observer = session_.observer()) observer->stepStarted(step);
}

bool SessionWorkerContext::stopRequested() const { return session_.stopRequested(); }

void SessionWorkerContext::commands(CommandGroup group, bool on) {
    if (SessionObserver* observer = session_.observer()) observer->commandsEnabled(group, on);
}
void SessionWorkerContext::setOperationControls(bool on) { commands(CommandGroup::operations, on); }
void SessionWorkerContext::setSetupControls(bool on) { commands(CommandGroup::setup, on); }

void SessionWorkerContext::progressStart() {
    if (SessionObserver* observer = session_.observer()) observer->progressStart();
}
void SessionWorkerContext::progressSetPos(int pos) { progressSetPos(ids::kProgressBar, pos); }
void SessionWorkerContext::progressSetPos(int barId, int pos) {
    // The session has one progress bar; other ids name nothing.
    if (barId != ids::kProgressBar) return;
    if (SessionObserver* observer = session_.observer()) observer->progress(pos);
}
int SessionWorkerContext::progressBarId() const { return ids::kProgressBar; }

void SessionWorkerContext::startEraseTimer() { session_.eraseTimer(true); }
void SessionWorkerContext::stopEraseTimer() { session_.eraseTimer(false); }
void SessionWorkerContext::chipEraseStarted(int progressId) {
    session_.eraseAnimation().start(*this, progressId);
}
void SessionWorkerContext::chipEraseEnded() { session_.eraseAnimation().stop(*this); }
void SessionWorkerContext::showImageSummary() { session_.showImageSummary(); }

DeviceHandle SessionWorkerContext::device() const { return session_.state().deviceHandle; }
std::int32_t SessionWorkerContext::flashKind() const { return session_.state().flashKind; }
std::uint32_t SessionWorkerContext::flashSize() const { return session_.state().flashSize; }

OneKeySteps SessionWorkerContext::oneKeySteps() const {
    const OneKeyOptions& options = session_.state().oneKeyOptions;
    return OneKeySteps{options.erase != 0, options.program != 0, options.verify != 0};
}

FlashChoices SessionWorkerContext::flashChoices() const { return session_.flashChoices(); }

void SessionWorkerContext::setBusy(bool busy) { session_.workerSetBusy(busy); }
const std::uint8_t* SessionWorkerContext::image() const { return session_.imageData(); }
std::uint32_t SessionWorkerContext::imageSize() const { return session_.imageSize(); }

std::uint8_t* SessionWorkerContext::adoptImage(std::unique_ptr<std::uint8_t[]> buffer) {
    session_.dropImage();
    AppState& state = session_.state();
    state.imageData = std::move(buffer);
    state.imageSize = 0;
    return state.imageData.get();
}

void SessionWorkerContext::addImageBytes(std::uint32_t bytes) { session_.state().imageSize += bytes; }
