// The context a window's workers reach it through: the window's log,
// progress bar and control groups, and its session's fields.
#pragma once

#include "operations/worker_context.h"

class MainWindow;

class WindowWorkerContext : public WorkerContext {
public:
    explicit WindowWorkerContext(MainWindow& window) : window_(window) {}

    void log(const std::string& line) override;
    void stepStarted(WorkerStep step) override;
    bool stopRequested() const override;
    void setOperationControls(bool on) override;
    void setSetupControls(bool on) override;
    void progressStart() override;
    void progressSetPos(int pos) override;
    void progressSetPos(int barId, int pos) override;
    int progressBarId() const override;
    void startEraseTimer() override;
    void stopEraseTimer() override;
    EraseAnimation& eraseAnimation() override;
    void showImageSummary() override;

    DeviceHandle device() const override;
    std::int32_t flashKind() const override;
    std::uint32_t flashSize() const override;
    OneKeySteps oneKeySteps() const override;
    void setBusy(bool busy) override;
    const std::uint8_t* image() const override;
    std::uint32_t imageSize() const override;
    std::uint8_t* adoptImage(std::unique_ptr<std::uint8_t[]> buffer) override;
    void addImageBytes(std::uint32_t bytes) override;

private:
    MainWindow& window_;
};
