// The Qt window host: the programmer window's widgets, menu, timers, modal
// dialogs and threads, bound to a ProgrammerForm. The host's window thread
// is the thread its QObject lives on; a worker's request is queued to that
// thread's event loop and waited for, within a bound.
#pragma once

#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "app/window_host.h"

class ProgrammerForm;
class QTimer;

class WindowRequest;

class QtHost final : public QObject, public WindowHost {
    Q_OBJECT

public:
    // A host without a form has no widgets yet: widget calls do nothing.
    explicit QtHost(ProgrammerForm* form = nullptr);
    ~QtHost() override;
    QtHost(const QtHost&) = delete;
    QtHost& operator=(const QtHost&) = delete;

    // Delivers the form's events to the attached logic and opens the window
    // for requests; call on the window thread.
    void bind(ProgrammerForm& form);
    void startWindow();
    WindowEvents* logic() const { return events(); }
    bool windowEnded() const { return ended_; }
    int endCode() const { return endCode_; }

    // Waits until no worker thread of this host is alive; false on time-out.
    bool waitForWorkers(std::chrono::milliseconds bound);

    void setControlText(int id, const std::string& text) override;
    std::string controlText(int id) const override;
    void enableControl(int id, bool on) override;
    void enableMenuItem(int id, bool on) override;
    void listAddString(int id, const std::string& text) override;
    void listSelect(int id, int index) override;
    int listSelection(int id) const override;
    void logAppend(const std::string& line) override;
    int logLineCount() const override;
    void logDeleteLine(int index) override;
    void logSetTopIndex(int index) override;
    void progressSetRange(int low, int high) override;
    void progressSetPos(int pos) override;
    void messageBox(const std::string& text, const std::string& caption,
                    MessageIcon icon) override;
    FileDialogResult chooseOpenFile(const FileDialogParams& params) override;
    FileDialogResult chooseSaveFile(const FileDialogParams& params) override;
    void runAboutBox() override;
    bool runOneKeyDialog(const OneKeyChoice& initial, OneKeyChoice& result) override;
    void setTimer(int id, int periodMs) override;
    void killTimer(int id) override;
    void endWindow(int code) override;
    bool startWorker(std::function<void()> body) override;
    bool runOnWindowThread(const std::function<void()>& request) override;

signals:
    // The window ended with `code` (the front end quits its event loop).
    void windowFinished(int code);
    // The image summary was shown: a Load or a Read has ended.
    void imageSummaryShown();

private:
    struct Workers;
    void runRequest(const std::shared_ptr<WindowRequest>& request);
    void abandonPending();

    ProgrammerForm* form_;
    std::atomic<bool> ended_{true};
    int endCode_ = 0;
    std::map<int, std::unique_ptr<QTimer>> timers_;
    std::mutex pendingLock_;
    std::set<std::shared_ptr<WindowRequest>> pending_;
    std::shared_ptr<Workers> workers_;
};
