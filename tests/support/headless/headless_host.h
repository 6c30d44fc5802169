// A window host without a screen. It keeps every control's text and enabled
// state in memory and runs its own window thread, so a worker's requests are
// real cross-thread calls. A caller (a test or the command line) presses
// buttons, answers the file choosers, dialogs and message boxes, reads the
// log and waits for workers.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/window_host.h"

struct MessageBoxRecord {
    std::string text;
    std::string caption;
    MessageIcon icon;
};

class HeadlessHost : public WindowHost {
public:
    using Clock = std::chrono::steady_clock;
    using FileAnswer = std::function<FileDialogResult(const FileDialogParams&)>;
    using OneKeyAnswer = std::function<bool(const OneKeyChoice& shown, OneKeyChoice& result)>;

    HeadlessHost();
    ~HeadlessHost() override;
    HeadlessHost(const HeadlessHost&) = delete;
    HeadlessHost& operator=(const HeadlessHost&) = delete;

    // --- The caller's side ---------------------------------------------
    // Runs `fn` on the window thread and waits for it. False when the window
    // has ended.
    bool call(const std::function<void()>& fn);
    // Every outcome a worker ended with, in order.
    std::vector<WorkerOutcome> outcomes() const;
    void answerOpenFile(FileAnswer answer);
    void answerSaveFile(FileAnswer answer);
    void answerOneKey(OneKeyAnswer answer);
    // Called on the window thread for every message box, after it is recorded.
    void onMessageBox(std::function<void(const MessageBoxRecord&)> observer);
    // Called on the window thread for every log line and progress position.
    void onLogLine(std::function<void(const std::string&)> observer);
    void onProgress(std::function<void(int)> observer);
    // Called on the window thread as a worker begins each step.
    void onStep(std::function<void(WorkerStep)> observer);
    // Waits until no worker thread is alive; false on time-out.
    bool waitForWorkers(Clock::duration timeout);
    int liveWorkers() const;

    // Snapshots, safe from any thread.
    std::vector<std::string> log() const;
    // Every line ever appended, also those the log list dropped at its limit.
    std::vector<std::string> logHistory() const;
    int logTopIndex() const;
    std::vector<MessageBoxRecord> messageBoxes() const;
    bool enabled(int id) const;
    bool menuEnabled(int id) const;
    std::string text(int id) const;
    std::vector<std::string> listItems(int id) const;
    int progressPos() const;
    int progressLow() const;
    int progressHigh() const;
    std::vector<int> progressHistory() const;
    bool timerActive(int id) const;
    bool windowEnded() const;
    int endCode() const;
    int aboutBoxRuns() const;
    std::vector<OneKeyChoice> oneKeyShown() const;
    std::vector<FileDialogParams> fileDialogsShown() const;

    // --- WindowHost ------------------------------------------------------
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
    void workerStepStarted(WorkerStep step) override;
    void workerEnded(const WorkerOutcome& outcome) override;
    void attach(WindowEvents& events) override;
    using WindowHost::events;

private:
    struct Core;
    std::shared_ptr<Core> core_;
};
