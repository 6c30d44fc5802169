#include "app/programmer_session.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/control_ids.h"
#include "app/erase_ticker.h"
#include "app/flash_size.h"
#include "app/session_context.h"
#include "texts/texts.h"
#include "operations/workers.h"

namespace {

// How long a session of its own waits for its worker when it goes away.
constexpr auto kWorkerBound = std::chrono::minutes(10);

bool startThread(std::function<void()> body) {
    try {
        std::thread(std::move(body)).detach();
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

ProgrammerSession::ProgrammerSession(std::string programPath)
    : ownedState_(std::make_unique<AppState>()),
      state_(*ownedState_),
      programPath_(std::move(programPath)),
      launcher_(startThread),
      ticker_(std::make_unique<EraseTicker>(std::chrono::milliseconds(ids::kEraseTimerMs),
                                            [this] { tickEraseAnimation(); })),
      context_(std::make_unique<SessionWorkerContext>(*this)) {}

ProgrammerSession::ProgrammerSession(AppState& state, std::string programPath, Launcher launcher)
    : state_(state),
      programPath_(std::move(programPath)),
      launcher_(std::move(launcher)),
      context_(std::make_unique<SessionWorkerContext>(*this)) {}

ProgrammerSession::~ProgrammerSession() {
    // A window's host sees to its workers; a session of its own waits for
    // its worker, which uses it.
    if (!ownedState_) return;
    requestStop();
    if (!waitIdle(kWorkerBound)) {
        std::fprintf(stderr, "programmer session: a worker outlived its session\n");
        std::abort();
    }
    ticker_.reset();
}

void ProgrammerSession::adoptDevice(DeviceHandle handle) {
    adopted_ = true;
    adoptedHandle_ = handle;
}

bool ProgrammerSession::open() {
    state_.deviceHandle = kNoDevice;
    // An adopted programmer was found by a front end that has initialized
    // the device layer already.
    if (!adopted_ && !DevInitialize(programPath_.c_str())) return false;
    log(txt().startLoadingHid);
    connect();
    state_.busy = 0;
    state_.oneKeyOptions.erase = 1;
    state_.oneKeyOptions.program = 1;
    state_.oneKeyOptions.verify = 1;
    return true;
}

bool ProgrammerSession::connect() {
    state_.deviceHandle = adopted_ ? adoptedHandle_ : DevConnect(connectIndex_);
    const bool connected = state_.deviceHandle >= 0;
    log(connected ? txt().connectOk : txt().connectFail);
    if (!connected && !adopted_ && DevHeldCount() > 0) log(txt().connectNoneFree);
    return connected;
}

void ProgrammerSession::disconnect() {
    DevClose(state_.deviceHandle);
    state_.deviceHandle = kNoDevice;
    log(txt().disconnect);
}

bool ProgrammerSession::deviceArrived() {
    if (adopted_ || state_.deviceHandle >= 0) return false;
    state_.deviceHandle = DevConnect(connectIndex_);
    if (state_.deviceHandle < 0) {
        if (DevHeldCount() > 0) log(txt().connectNoneFree);
        return false;
    }
    log(txt().deviceArrived);
    return true;
}

bool ProgrammerSession::deviceRemoved() {
    if (adopted_ || state_.deviceHandle < 0) return false;
    if (DevPing(state_.deviceHandle)) return false;
    DevClose(state_.deviceHandle);
    state_.deviceHandle = kNoDevice;
    log(txt().deviceRemoved);
    return true;
}

FlashReport ProgrammerSession::queryFlash() const {
    return DevQueryFlash(state_.deviceHandle, kSetFlashKind);
}

SetFlashResult ProgrammerSession::setFlash(int sizeIndex, bool reportOnRefusal) {
    SetFlashResult result;
    // An index outside the table means no selection.
    if (sizeIndex < 0 || sizeIndex >= kFlashSizeCount) return result;
    state_.flashKind = kSetFlashKind;
    state_.flashSize = FlashSizeTable[sizeIndex].size;
    result.taken = DevSetFlashType(state_.deviceHandle, state_.flashKind, state_.flashSize) != 0;
    if (result.taken) {
        log(txt().setFlashOk);
        if (state_.imageSize > state_.flashSize) log(txt().setFlashTooLarge);
    } else {
        log(txt().setFlashFail);
        if (reportOnRefusal) result.reported = queryFlash();
    }
    return result;
}

void ProgrammerSession::setOneKeySteps(const OneKeySteps& steps) {
    OneKeyOptions& options = state_.oneKeyOptions;
    options.accepted = 1;
    options.erase = steps.erase ? 1 : 0;
    options.program = steps.program ? 1 : 0;
    options.verify = steps.verify ? 1 : 0;
}

bool ProgrammerSession::startOperation(Operation operation) {
    // Only one worker at a time: a second start does nothing, and above all
    // does not release the image the running worker may be using.
    if (workerRunning_) return false;
    const bool sized = state_.flashSize >= 32768;
    WorkerContext* context = context_.get();
    switch (operation) {
        case Operation::read:
            if (state_.imageData || sharedImage_) {
                dropImage();
                state_.imageSize = 0;
            }
            return sized && startWorker([context] { return ReadWorker(context); }, true);
        case Operation::erase:
            state_.eraseRequest = {context, ids::kProgressBar};
            return startWorker([this] { return EraseWorker(&state_.eraseRequest); });
        case Operation::blank:
            return sized && startWorker([context] { return BlankCheckWorker(context); }, true);
        case Operation::program:
            return sized && startWorker([context] { return ProgramWorker(context); }, true);
        case Operation::verify:
            return sized && startWorker([context] { return VerifyWorker(context); }, true);
        case Operation::oneKey:
            return startWorker([context] { return OneKeyWorker(context); }, true);
    }
    return false;
}

OperationRun ProgrammerSession::runOperation(Operation operation, std::stop_token stop,
                                             std::chrono::milliseconds bound) {
    OperationRun run;
    std::uint64_t before = 0;
    {
        std::lock_guard<std::mutex> guard(endLock_);
        before = runsEnded_;
    }
    if (workerRunning_) return run;
    runToken_ = std::move(stop);
    runStop_ = false;
    run.started = startOperation(operation);
    if (!run.started) {
        run.ended = true;
        return run;
    }
    std::unique_lock<std::mutex> guard(endLock_);
    run.ended = ended_.wait_for(guard, bound, [&] { return runsEnded_ != before; });
    if (run.ended) {
        run.outcome = lastOutcome_;
    } else {
        // Past its bound: the worker stops at its next block.
        runStop_ = true;
    }
    return run;
}

bool ProgrammerSession::waitIdle(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> guard(endLock_);
    return ended_.wait_for(guard, bound, [&] { return !workerRunning_.load(); });
}

bool ProgrammerSession::startWorker(std::function<WorkerOutcome()> body, bool setsBusy) {
    bool expected = false;
    if (!workerRunning_.compare_exchange_strong(expected, true)) return false;
    busyPending_ = setsBusy;
    const bool started = launcher_([this, body = std::move(body)] {
        const WorkerOutcome outcome = body();
        busyPending_ = false;
        if (SessionObserver* observer = observer_.load()) observer->operationEnded(outcome);
        std::lock_guard<std::mutex> guard(endLock_);
        lastOutcome_ = outcome;
        ++runsEnded_;
        workerRunning_ = false;
        ended_.notify_all();
    });
    if (!started) {
        busyPending_ = false;
        workerRunning_ = false;
    }
    return started;
}

void ProgrammerSession::workerSetBusy(bool busy) {
    state_.busy = busy ? 1 : 0;
    busyPending_ = false;
    if (SessionObserver* observer = observer_.load()) observer->busyChanged(busy);
}

bool ProgrammerSession::busy() const {
    // The pending mark first: a worker stores busy before it clears the
    // mark, so one of the two is seen.
    const bool pending = busyPending_.load();
    return pending || state_.busy == 1;
}

bool ProgrammerSession::stopRequested() const {
    return stopRequested_.load() || runStop_.load() || runToken_.stop_requested();
}

void ProgrammerSession::log(const std::string& line) {
    if (SessionObserver* observer = observer_.load()) observer->logLine(line);
}

void ProgrammerSession::logf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<std::size_t>(length));
    }
    va_end(args);
    log(text);
}

void ProgrammerSession::eraseTimer(bool running) {
    if (SessionObserver* observer = observer_.load()) observer->eraseTimer(running);
    if (!ticker_) return;
    if (running) {
        ticker_->start();
    } else {
        ticker_->stop();
    }
}

void ProgrammerSession::tickEraseAnimation() { eraseAnimation_.tick(*context_); }
