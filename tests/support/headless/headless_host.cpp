#include "tests/support/headless/headless_host.h"

#include "tests/support/headless/headless_core.h"

using headless::Control;
using headless::Task;
using headless::Timer;
using headless::kWorkerBound;

HeadlessHost::HeadlessHost() : core_(std::make_shared<Core>()) {
    std::thread window([core = core_] { core->loop(); });
    core_->windowThreadId = window.get_id();
    window.detach();
}

HeadlessHost::~HeadlessHost() {
    if (!waitForWorkers(kWorkerBound)) {
        std::fprintf(stderr, "headless host: a worker outlived the window\n");
        std::abort();
    }
    std::lock_guard<std::mutex> lock(core_->m);
    core_->stopping = true;
    core_->wake.notify_all();
}

bool HeadlessHost::call(const std::function<void()>& fn) { return core_->run(fn); }
bool HeadlessHost::runOnWindowThread(const std::function<void()>& request) {
    return core_->run(request);
}

void HeadlessHost::attach(WindowEvents& events) {
    WindowHost::attach(events);
    std::lock_guard<std::mutex> lock(core_->m);
    core_->events = &events;
}

void HeadlessHost::onStep(std::function<void(WorkerStep)> observer) {
    std::lock_guard<std::mutex> lock(core_->m);
    core_->stepObserver = std::move(observer);
}

void HeadlessHost::workerStepStarted(WorkerStep step) {
    std::function<void(WorkerStep)> observer;
    {
        std::lock_guard<std::mutex> lock(core_->m);
        observer = core_->stepObserver;
    }
    if (observer) observer(step);
}

void HeadlessHost::workerEnded(const WorkerOutcome& outcome) {
    std::lock_guard<std::mutex> lock(core_->m);
    core_->outcomes.push_back(outcome);
}

std::vector<WorkerOutcome> HeadlessHost::outcomes() const {
    std::lock_guard<std::mutex> lock(core_->m);
    return core_->outcomes;
}
void HeadlessHost::answerOpenFile(FileAnswer answer) {
    std::lock_guard<std::mutex> lock(core_->m);
    core_->openAnswer = std::move(answer);
}
void HeadlessHost::answerSaveFile(FileAnswer answer) {
    std::lock_guard<std::mutex> lock(core_->m);
    core_->saveAnswer = std::move(answer);
}
void HeadlessHost::answerOneKey(OneKeyAnswer answer) {
    std::lock_guard<std::mutex> lock(core_->m);
    core_->oneKeyAnswer = std::move(answer);
}
void HeadlessHost::onMessageBox(std::function<void(const MessageBoxRecord&)> observer) {
    std::lock_guard<std::mutex> lock(core_->m);
    core_->boxObserver = std::move(observer);
}
void HeadlessHost::onLogLine(std::function<void(const std::string&)> observer) {
    std::lock_guard<std::mutex> lock(core_->m);
    core_->logObserver = std::move(observer);
}
void HeadlessHost::onProgress(std::function<void(int)> observer) {
    std::lock_guard<std::mutex> lock(core_->m);
    core_->progressObserver = std::move(observer);
}

bool HeadlessHost::waitForWorkers(Clock::duration timeout) {
    std::unique_lock<std::mutex> lock(core_->m);
    return core_->workersDone.wait_for(lock, timeout, [&] { return core_->liveWorkers == 0; });
}

int HeadlessHost::liveWorkers() const {
    std::lock_guard<std::mutex> lock(core_->m);
    return core_->liveWorkers;
}

#define HEADLESS_GET(expr)                       \
    std::lock_guard<std::mutex> lock(core_->m); \
    return expr

std::vector<std::string> HeadlessHost::log() const { HEADLESS_GET(core_->log); }
std::vector<std::string> HeadlessHost::logHistory() const { HEADLESS_GET(core_->history); }
int HeadlessHost::logTopIndex() const { HEADLESS_GET(core_->topIndex); }
std::vector<MessageBoxRecord> HeadlessHost::messageBoxes() const { HEADLESS_GET(core_->boxes); }
bool HeadlessHost::enabled(int id) const {
    std::lock_guard<std::mutex> lock(core_->m);
    auto it = core_->controls.find(id);
    return it == core_->controls.end() || it->second.enabled;
}
bool HeadlessHost::menuEnabled(int id) const {
    std::lock_guard<std::mutex> lock(core_->m);
    auto it = core_->menu.find(id);
    return it == core_->menu.end() || it->second;
}
std::string HeadlessHost::text(int id) const { return controlText(id); }
std::vector<std::string> HeadlessHost::listItems(int id) const {
    std::lock_guard<std::mutex> lock(core_->m);
    auto it = core_->controls.find(id);
    return it == core_->controls.end() ? std::vector<std::string>{} : it->second.items;
}
int HeadlessHost::progressPos() const { HEADLESS_GET(core_->progressPos); }
int HeadlessHost::progressLow() const { HEADLESS_GET(core_->progressLow); }
int HeadlessHost::progressHigh() const { HEADLESS_GET(core_->progressHigh); }
std::vector<int> HeadlessHost::progressHistory() const { HEADLESS_GET(core_->progressHistory); }
bool HeadlessHost::timerActive(int id) const { HEADLESS_GET(core_->timers.count(id) != 0); }
bool HeadlessHost::windowEnded() const { HEADLESS_GET(core_->ended); }
int HeadlessHost::endCode() const { HEADLESS_GET(core_->endCode); }
int HeadlessHost::aboutBoxRuns() const { HEADLESS_GET(core_->aboutRuns); }
std::vector<OneKeyChoice> HeadlessHost::oneKeyShown() const { HEADLESS_GET(core_->oneKeyShown); }
std::vector<FileDialogParams> HeadlessHost::fileDialogsShown() const {
    HEADLESS_GET(core_->fileDialogs);
}

void HeadlessHost::setControlText(int id, const std::string& text) {
    std::lock_guard<std::mutex> lock(core_->m);
    core_->controls[id].text = text;
}
std::string HeadlessHost::controlText(int id) const {
    std::lock_guard<std::mutex> lock(core_->m);
    auto it = core_->controls.find(id);
    return it == core_->controls.end() ? std::string() : it->second.text;
}
void HeadlessHost::enableControl(int id, bool on) {
    std::lock_guard<std::mutex> lock(core_->m);
    core_->controls[id].enabled = on;
}
void HeadlessHost::enableMenuItem(int id, bool on) {
    std::lock_guard<std::mutex> lock(core_->m);
    core_->menu[id] = on;
}
void HeadlessHost::listAddString(int id, const std::string& text) {
    std::lock_guard<std::mutex> lock(core_->m);
    core_->controls[id].items.push_back(text);
}
void HeadlessHost::listSelect(int id, int index) {
    std::lock_guard<std::mutex> lock(core_->m);
    Control& list = core_->controls[id];
    list.selection = (index >= 0 && index < static_cast<int>(list.items.size())) ? index : -1;
}
int HeadlessHost::listSelection(int id) const {
    std::lock_guard<std::mutex> lock(core_->m);
    auto it = core_->controls.find(id);
    return it == core_->controls.end() ? -1 : it->second.selection;
}

void HeadlessHost::logAppend(const std::string& line) {
    std::function<void(const std::string&)> observer;
    {
        std::lock_guard<std::mutex> lock(core_->m);
        core_->log.push_back(line);
        core_->history.push_back(line);
        observer = core_->logObserver;
    }
    if (observer) observer(line);
}
int HeadlessHost::logLineCount() const {
    std::lock_guard<std::mutex> lock(core_->m);
    return static_cast<int>(core_->log.size());
}
void HeadlessHost::logDeleteLine(int index) {
    std::lock_guard<std::mutex> lock(core_->m);
    if (index >= 0 && index < static_cast<int>(core_->log.size())) {
        core_->log.erase(core_->log.begin() + index);
    }
}
void HeadlessHost::logSetTopIndex(int index) {
    std::lock_guard<std::mutex> lock(core_->m);
    core_->topIndex = index;
}

void HeadlessHost::progressSetRange(int low, int high) {
    std::lock_guard<std::mutex> lock(core_->m);
    core_->progressLow = low;
    core_->progressHigh = high;
}
void HeadlessHost::progressSetPos(int pos) {
    std::function<void(int)> observer;
    {
        std::lock_guard<std::mutex> lock(core_->m);
        core_->progressPos = std::clamp(pos, core_->progressLow, core_->progressHigh);
        core_->progressHistory.push_back(core_->progressPos);
        observer = core_->progressObserver;
    }
    if (observer) observer(pos);
}

void HeadlessHost::messageBox(const std::string& text, const std::string& caption,
                              MessageIcon icon) {
    MessageBoxRecord record{text, caption, icon};
    std::function<void(const MessageBoxRecord&)> observer;
    {
        std::lock_guard<std::mutex> lock(core_->m);
        core_->boxes.push_back(record);
        observer = core_->boxObserver;
    }
    if (observer) observer(record);
}

FileDialogResult HeadlessHost::chooseOpenFile(const FileDialogParams& params) {
    FileAnswer answer;
    {
        std::lock_guard<std::mutex> lock(core_->m);
        core_->fileDialogs.push_back(params);
        answer = core_->openAnswer;
    }
    return answer ? answer(params) : FileDialogResult{};
}
FileDialogResult HeadlessHost::chooseSaveFile(const FileDialogParams& params) {
    FileAnswer answer;
    {
        std::lock_guard<std::mutex> lock(core_->m);
        core_->fileDialogs.push_back(params);
        answer = core_->saveAnswer;
    }
    return answer ? answer(params) : FileDialogResult{};
}

void HeadlessHost::runAboutBox() {
    std::lock_guard<std::mutex> lock(core_->m);
    ++core_->aboutRuns;
}

bool HeadlessHost::runOneKeyDialog(const OneKeyChoice& initial, OneKeyChoice& result) {
    OneKeyAnswer answer;
    {
        std::lock_guard<std::mutex> lock(core_->m);
        core_->oneKeyShown.push_back(initial);
        answer = core_->oneKeyAnswer;
    }
    result = initial;
    return answer ? answer(initial, result) : true;
}

void HeadlessHost::setTimer(int id, int periodMs) {
    std::lock_guard<std::mutex> lock(core_->m);
    Timer& timer = core_->timers[id];
    timer.period = std::chrono::milliseconds(periodMs > 0 ? periodMs : 1);
    timer.next = Clock::now() + timer.period;
    core_->wake.notify_all();
}
void HeadlessHost::killTimer(int id) {
    std::lock_guard<std::mutex> lock(core_->m);
    core_->timers.erase(id);
}

void HeadlessHost::endWindow(int code) {
    std::lock_guard<std::mutex> lock(core_->m);
    core_->ended = true;
    core_->endCode = code;
    core_->timers.clear();
    core_->dropPending();
}

bool HeadlessHost::startWorker(std::function<void()> body) {
    {
        std::lock_guard<std::mutex> lock(core_->m);
        ++core_->liveWorkers;
    }
    try {
        std::thread([core = core_, body = std::move(body)] {
            body();
            std::lock_guard<std::mutex> lock(core->m);
            --core->liveWorkers;
            core->workersDone.notify_all();
        }).detach();
        return true;
    } catch (...) {
        std::lock_guard<std::mutex> lock(core_->m);
        --core_->liveWorkers;
        core_->workersDone.notify_all();
        return false;
    }
}
