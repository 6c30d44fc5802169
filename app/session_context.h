// The context a session's workers reach it through: the session's fields,
// and its observer for what the operator is told.
#pragma once

#include "app/session_observer.h"
#include "operations/worker_context.h"

class ProgrammerSession;

class SessionWorkerContext : public WorkerContext {
public:
    explicit SessionWorkerContext(ProgrammerSession& session) : session_(session) {}

    void log(const std::string& line) override;
    void stepStarted(WorkerStep step) override;
    bool stopRequested() const override;
    void setOperationControls(bool on) override;
    void setSetupControls(bool on) override;
    void progressStart() override;
    void progressSetPos(int pos) override;
    void progressSetPos(int barId, int pos) override;
    int progressBarId() const override;
    void chipEraseStarted(int progressId) override;
    void chipEraseEnded() override;
    // The animation's timer.
    void startEraseTimer();
    void stopEraseTimer();
    void showImageSummary() override;

    DeviceHandle device() const override;
    std::int32_t flashKind() const override;
    std::uint32_t flashSize() const override;
    OneKeySteps oneKeySteps() const override;
    FlashChoices flashChoices() const override;
    void setBusy(bool busy) override;
    const std::uint8_t* image() const override;
    std::uint32_t imageSize() const override;
    std::uint8_t* adoptImage(std::unique_ptr<std::uint8_t[]> buffer) override;
    void addImageBytes(std::uint32_t bytes) override;

private:
    void commands(CommandGroup group, bool on);
    ProgrammerSession& session_;
};
