// The window seam: everything the application logic needs from a dialog
// toolkit. The Win32 dialog, the headless host and the Qt host implement it;
// the logic reaches the screen only through it. Inbound, every host delivers
// the window's events to the WindowEvents it is attached to.
//
// The contract every host meets for workers and their requests:
// - runOnWindowThread called on the window's thread runs the request at once.
// - Called on any other thread while the window lives, it hands the request
//   to the window's thread and returns true once it has run there. A request
//   the window's thread does not take within the host's bound is taken back
//   and the call returns false.
// - Once the window has ended, a request from another thread is dropped: it
//   does not run, and the call returns false at once.
// - startWorker runs its body on a new thread that the host never joins. A
//   worker may outlive its window; its requests are then dropped as above,
//   and nothing they reach is freed under them while the worker runs.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "app/window_events.h"
#include "operations/worker_outcome.h"

enum class MessageIcon { Information, Warning, Error };

// What an open or save file chooser shows. The platform dialog uses every
// field; the headless host passes them on to whoever answers it.
struct FileDialogParams {
    const char* title = "";
    // Filter pairs: display text, then pattern.
    const char* const* filters = nullptr;
    int filterCount = 0;
    const char* defaultExtension = "";
    bool mustExist = true;           // only the name of an existing file
    bool keepCurrentDirectory = true;
    bool promptOverwrite = false;    // ask before overwriting (save)
    bool noDereferenceLinks = false; // return shortcut files as they are
};

// The answer of a file chooser: the chosen full path and the offset of the
// file name in it. `chosen` false means the operator cancelled.
struct FileDialogResult {
    bool chosen = false;
    std::string path;
    std::size_t nameOffset = 0;
};

// The three check boxes of the one-key options dialog.
struct OneKeyChoice {
    int erase = 1;
    int program = 1;
    int verify = 1;
};

class WindowHost {
public:
    virtual ~WindowHost() = default;

    // The logic the host delivers its events to; the window attaches itself
    // once, before it starts.
    virtual void attach(WindowEvents& events) { events_ = &events; }

    // Control texts and enabled states, by id.
    virtual void setControlText(int id, const std::string& text) = 0;
    virtual std::string controlText(int id) const = 0;
    virtual void enableControl(int id, bool on) = 0;
    virtual void enableMenuItem(int id, bool on) = 0;

    // The flash-size drop-down list.
    virtual void listAddString(int id, const std::string& text) = 0;
    virtual void listSelect(int id, int index) = 0;
    virtual int listSelection(int id) const = 0;

    // The log list.
    virtual void logAppend(const std::string& line) = 0;
    virtual int logLineCount() const = 0;
    virtual void logDeleteLine(int index) = 0;
    virtual void logSetTopIndex(int index) = 0;

    // The progress bar.
    virtual void progressSetRange(int low, int high) = 0;
    virtual void progressSetPos(int pos) = 0;

    virtual void messageBox(const std::string& text, const std::string& caption,
                            MessageIcon icon) = 0;
    virtual FileDialogResult chooseOpenFile(const FileDialogParams& params) = 0;
    virtual FileDialogResult chooseSaveFile(const FileDialogParams& params) = 0;

    // Modal dialogs. The options dialog opens with `initial`; it returns true
    // for OK and fills `result`, false for Cancel or the close box.
    virtual void runAboutBox() = 0;
    virtual bool runOneKeyDialog(const OneKeyChoice& initial, OneKeyChoice& result) = 0;

    // Timers fire on the window's thread through the logic's timer handler.
    virtual void setTimer(int id, int periodMs) = 0;
    virtual void killTimer(int id) = 0;

    // Ends the window with the given code.
    virtual void endWindow(int code) = 0;

    // Starts `body` on a new thread that nobody joins. False when the thread
    // could not be created.
    virtual bool startWorker(std::function<void()> body) = 0;

    // Runs `request` on the window's thread and returns when it has run; see
    // the contract above.
    virtual bool runOnWindowThread(const std::function<void()>& request) = 0;

    // A worker began a step (after its start line), on the window's thread.
    // Hosts that show the step (the command line's bar, the station) use it.
    virtual void workerStepStarted(WorkerStep step) { (void)step; }

    // A worker ended with `outcome`; called on the worker's thread after its
    // last request. Hosts that report results (the command line's) keep it.
    virtual void workerEnded(const WorkerOutcome& outcome) { (void)outcome; }

protected:
    WindowEvents* events() const { return events_; }

private:
    WindowEvents* events_ = nullptr;
};
