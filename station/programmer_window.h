// One programmer's window in a run on many programmers: the main window's
// logic on a headless host, working on a programmer that the front end
// opened, with a copy of the image the front end loaded once. Each unit is
// what the operator does in that window: SetFlash with the size, then the
// operation's button (OneKey with the chosen steps).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "device/devapi.h"
#include "operations/worker_outcome.h"
#include "station/job.h"

class HeadlessApp;

// The image as the load left it, shared read-only.
struct LoadedImage {
    std::shared_ptr<const std::vector<std::uint8_t>> bytes;
    FileSelection selection;
};

// Loads `file` once through a window of its own, as the Load button does;
// its lines go to `line`. Empty bytes when the load failed.
LoadedImage loadImageOnce(const std::string& programPath, const std::string& file,
                          const std::function<void(const std::string&)>& line);

struct UnitRun {
    bool flashTaken = false;  // SetFlash succeeded
    bool ended = false;       // the worker ended within the bound
    WorkerOutcome outcome;
    std::vector<std::string> lines;  // the window's lines of this unit
};

class ProgrammerWindow {
public:
    // Called on the window's thread for each log line and progress position.
    struct Observer {
        std::function<void(const std::string&)> line;
        std::function<void(int)> progress;
        std::function<void(WorkerStep)> step;  // a worker began a step
    };

    ProgrammerWindow(DeviceHandle handle, const std::string& programPath, const LoadedImage& image,
                     Observer observer);
    ~ProgrammerWindow();
    ProgrammerWindow(const ProgrammerWindow&) = delete;
    ProgrammerWindow& operator=(const ProgrammerWindow&) = delete;

    // Runs one unit and waits for it, at most `bound`.
    UnitRun run(const Job& job, std::chrono::milliseconds bound);
    // The lines of the unit running now.
    std::vector<std::string> linesSoFar() const;
    // Asks the running unit to stop at its next block; it then ends as
    // interrupted. For the rest of the window's life every unit stops so.
    void requestStop() const;

private:
    AppState state_;
    std::unique_ptr<HeadlessApp> app_;
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
};

// The button of a command.
int commandButton(JobCommand command);
