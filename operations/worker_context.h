// What a worker may reach of its window: the log, the progress bar, the two
// control groups, the erase animation's timer, and the session it works on
// (programmer, flash, image). Each call from a worker is a synchronous
// request carried out on the window's thread; a request made after the
// window has ended does nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "device/devapi.h"
#include "operations/worker_outcome.h"

// The one-key steps the operator chose.
struct OneKeySteps {
    bool erase = true;
    bool program = true;
    bool verify = true;
};

// How the command line, the station and jobs use the flash. The window keeps
// the defaults: it always erases and sends every page.
struct FlashChoices {
    // The erase reads the flash from the start first and leaves a blank one
    // as it is; at the first byte that is not 0xFF it erases as always.
    bool eraseIfNeeded = false;
    // Program sends no 2 KiB page of the image that is all 0xFF (programming
    // 0xFF changes no bit of a NOR flash); Verify still reads every page.
    bool skipErasedPages = false;
};

class WorkerContext {
public:
    virtual ~WorkerContext() = default;

    virtual void log(const std::string& line) = 0;
    // The worker begins a step; told once the step's start line is logged
    // and the window is busy with it.
    virtual void stepStarted(WorkerStep step) = 0;

    // True once the worker has been asked to stop: the block loops then end
    // before their next block. A chip erase is not cut short.
    virtual bool stopRequested() const { return false; }

    virtual void setOperationControls(bool on) = 0;
    virtual void setSetupControls(bool on) = 0;
    void setAllControls(bool on) {
        setOperationControls(on);
        setSetupControls(on);
    }
    // A run's end: not busy, then every control back, as the one-key
    // download ends too. In the other order a close that lands once the
    // buttons are back would still meet the busy box.
    void endRun() {
        setBusy(false);
        setAllControls(true);
    }

    // The window's progress bar: range 0..100 and position 0, or a position.
    virtual void progressStart() = 0;
    virtual void progressSetPos(int pos) = 0;
    // A position for the bar with this control id; ids that name no bar of
    // the window are ignored.
    virtual void progressSetPos(int barId, int pos) = 0;
    // The id of the window's progress bar.
    virtual int progressBarId() const = 0;

    // A whole-flash erase begins, with the bar (a control id) that should
    // show it is under way, and ends. The erase itself reports no progress.
    virtual void chipEraseStarted(int progressId) = 0;
    virtual void chipEraseEnded() = 0;

    // The image's summary fields, after a read.
    virtual void showImageSummary() = 0;

    // The session.
    virtual DeviceHandle device() const = 0;
    virtual std::int32_t flashKind() const = 0;
    virtual std::uint32_t flashSize() const = 0;
    virtual OneKeySteps oneKeySteps() const = 0;
    virtual FlashChoices flashChoices() const { return {}; }
    virtual void setBusy(bool busy) = 0;
    virtual const std::uint8_t* image() const = 0;
    virtual std::uint32_t imageSize() const = 0;
    // The read: `buffer` becomes the image, empty until bytes are added.
    virtual std::uint8_t* adoptImage(std::unique_ptr<std::uint8_t[]> buffer) = 0;
    virtual void addImageBytes(std::uint32_t bytes) = 0;
};
