// One programmer's session: the programmer it works on, the flash size and
// kind, the image, the busy mark and the worker. Every front end works
// through it: the window maps its commands to these calls, the command line
// and the station call them directly. Each call returns a typed result; what
// the operator is told goes to the session's observer, in the same words and
// order whoever shows them.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/erase_animation.h"
#include "app/session_context.h"
#include "app/session_observer.h"
#include "device/devapi.h"
#include "operations/worker_context.h"
#include "operations/worker_outcome.h"

class WorkerContext;
class EraseTicker;

enum class Operation { read, erase, blank, program, verify, oneKey };

struct SetFlashResult {
    bool taken = false;
    // What the programmer reports for the flash kind, when the caller asked
    // for it on a refusal (one exchange more).
    std::optional<FlashReport> reported;
};

enum class LoadResult { loaded, nameTooLong, openFailed, tooLarge, noMemory, readFailed };
enum class SaveResult { saved, noImage, createFailed, writeFailed };

// A run of an operation: whether a worker started, whether it ended within
// the bound, and its outcome (a refusal when none started).
struct OperationRun {
    bool started = false;
    bool ended = false;
    WorkerOutcome outcome = WorkerOutcome::refusal();
};

// Image bytes shared read-only between sessions.
using SharedImage = std::shared_ptr<const std::vector<std::uint8_t>>;

class ProgrammerSession {
public:
    // Starts `body` on a new thread; false when none could be made.
    using Launcher = std::function<bool(std::function<void()>)>;

    // A session of its own: its own state, workers on threads it starts, the
    // erase animation on a ticker of its own.
    explicit ProgrammerSession(std::string programPath);
    // A window's session: the window's state record, workers on the window
    // host's threads (the host sees to their lifetime), the erase animation
    // on the window's timer.
    ProgrammerSession(AppState& state, std::string programPath, Launcher launcher);
    ~ProgrammerSession();
    ProgrammerSession(const ProgrammerSession&) = delete;
    ProgrammerSession& operator=(const ProgrammerSession&) = delete;

    // The observer's calls come one at a time; set it before start, or to
    // null (nothing is told after that).
    void setObserver(SessionObserver* observer) { observer_ = observer; }
    AppState& state() { return state_; }
    const AppState& state() const { return state_; }
    WorkerContext& workerContext() { return *context_; }
    EraseAnimation& eraseAnimation() { return eraseAnimation_; }

    // --- The programmer -------------------------------------------------
    // Which programmer, in discovery order, connect() and an arrival open.
    void setConnectIndex(std::uint32_t index) { connectIndex_ = index; }
    // Works on a programmer the front end opened (kNoDevice: none). Connect
    // then takes this handle, and the device events leave it be.
    void adoptDevice(DeviceHandle handle);
    bool adopted() const { return adopted_; }
    // The session's start: the HID services (unless a programmer was
    // adopted), the start line, the connection, not busy, every one-key step
    // chosen. False when the HID services can't be bound.
    bool open();
    // Connects (or takes the adopted handle); true when a programmer is open.
    // Programmers a station lane holds are left alone (DevConnect): when
    // only those are there, the log says that none is free.
    bool connect();
    void disconnect();
    // The system reports a device arrived or went. True when the session
    // connected, or closed its programmer. An arrival takes only a free
    // programmer, and says so when the only ones there are held.
    bool deviceArrived();
    bool deviceRemoved();
    DeviceHandle device() const { return state_.deviceHandle; }

    // --- The flash --------------------------------------------------------
    // The programmer's answer for the flash kind SetFlash sends.
    FlashReport queryFlash() const;
    // Selects the flash size of the size table's `sizeIndex`.
    SetFlashResult setFlash(int sizeIndex, bool reportOnRefusal = false);
    std::uint32_t flashSize() const { return state_.flashSize; }

    // --- The image --------------------------------------------------------
    // Loads the selection's full path, as the Load command does.
    LoadResult loadImage(const FileSelection& selection);
    LoadResult loadImage(const std::string& path);
    // The chooser was cancelled: the image and its name are gone.
    void loadCancelled();
    // Takes bytes the caller holds (shared, never copied); the log names
    // them `name` as a load names its file.
    void takeImage(SharedImage bytes, const std::string& name);
    void dropImage();
    SaveResult saveImage(const std::string& path);
    bool hasImage() const { return imageData() != nullptr; }
    const std::uint8_t* imageData() const;
    std::uint32_t imageSize() const { return state_.imageSize; }
    std::uint64_t imageChecksum() const;
    // The checksum line and the image's fields.
    void showImageSummary();

    // --- Operations -------------------------------------------------------
    void setOneKeySteps(const OneKeySteps& steps);
    // How the next workers use the flash (the window leaves the defaults).
    void setFlashChoices(const FlashChoices& choices) { flashChoices_ = choices; }
    FlashChoices flashChoices() const { return flashChoices_; }
    // Starts the operation's worker unless one runs or its precondition (a
    // flash size) fails; the outcome goes to the observer. `setsBusy` is
    // the operation's own: see busy().
    bool startOperation(Operation operation);
    // Starts the operation and waits for it at most `bound`. A worker that
    // runs past the bound is asked to stop and the run says it did not end;
    // waitIdle() tells when it has.
    OperationRun runOperation(Operation operation, std::stop_token stop,
                              std::chrono::milliseconds bound);
    bool waitIdle(std::chrono::milliseconds bound);
    bool workerRunning() const { return workerRunning_.load(); }

    // Starts `body` as the session's worker unless one is running; marked
    // running here, before its thread exists. `setsBusy`: the worker will
    // mark the session busy, and it counts as busy from here on.
    bool startWorker(std::function<WorkerOutcome()> body, bool setsBusy = false);
    // The worker's busy mark, from the worker's thread.
    void workerSetBusy(bool busy);
    // Busy, or about to be.
    bool busy() const;

    // Asks the running worker, and every later one, to stop at its next
    // block boundary. One lock-free store: safe from a signal handler.
    void requestStop() { stopRequested_.store(true); }
    // That, or the running operation's own stop.
    bool stopRequested() const;

    // Events the worker context hands on.
    void log(const std::string& line);
    void logf(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    void eraseTimer(bool running);
    void tickEraseAnimation();
    SessionObserver* observer() const { return observer_.load(); }

private:
    LoadResult readImageFile(const char* path);
    void announceImage(const std::string& name, std::uint64_t bytes);

    std::unique_ptr<AppState> ownedState_;
    AppState& state_;
    std::string programPath_;
    Launcher launcher_;
    std::atomic<SessionObserver*> observer_{nullptr};
    std::uint32_t connectIndex_ = 0;
    bool adopted_ = false;
    DeviceHandle adoptedHandle_ = kNoDevice;
    SharedImage sharedImage_;
    FlashChoices flashChoices_;

    std::atomic<bool> workerRunning_{false};
    std::atomic<bool> busyPending_{false};
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> runStop_{false};
    std::stop_token runToken_;
    static_assert(std::atomic<bool>::is_always_lock_free);
    std::mutex endLock_;
    std::condition_variable ended_;
    WorkerOutcome lastOutcome_;
    std::uint64_t runsEnded_ = 0;

    EraseAnimation eraseAnimation_;
    std::unique_ptr<EraseTicker> ticker_;
    std::unique_ptr<SessionWorkerContext> context_;
};
