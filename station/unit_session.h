// One programmer's session in a run on many programmers: a programmer
// session working on a programmer the front end opened, with the image the
// front end loaded once, shared read-only (never copied per programmer). A
// unit is: set the flash to the job's size, then run the job's operation
// (the one-key job with the chosen steps), within a bound.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/programmer_session.h"
#include "device/devapi.h"
#include "operations/worker_outcome.h"
#include "station/job.h"

// The image as the load left it, shared read-only, and the name the logs
// give it.
struct LoadedImage {
    SharedImage bytes;
    std::string name;
};

// Loads `file` once, as the Load command does; its lines go to `line`.
// Empty bytes when the load failed.
LoadedImage loadImageOnce(const std::string& programPath, const std::string& file,
                          const std::function<void(const std::string&)>& line);

struct UnitRun {
    // The size the unit set (bytes; 0 when the programmer reported no known
    // flash for an automatic size), and the capacity of the flash record the
    // programmer's flash-type answer selects (0: none known).
    std::uint32_t flashSize = 0;
    std::uint32_t reportedSize = 0;
    bool flashTaken = false;  // SetFlash succeeded
    bool ended = false;       // the worker ended within the bound
    WorkerOutcome outcome;
    std::vector<std::string> lines;  // the session's lines of this unit
};

class UnitSession final : private SessionObserver {
public:
    // Called for each log line, progress position and step, on the thread
    // that made it (the caller's, the worker's or the erase ticker's).
    struct Observer {
        std::function<void(const std::string&)> line;
        std::function<void(int)> progress;
        std::function<void(WorkerStep)> step;  // a worker began a step
    };

    UnitSession(DeviceHandle handle, const std::string& programPath, const LoadedImage& image,
                Observer observer);
    ~UnitSession() override;
    UnitSession(const UnitSession&) = delete;
    UnitSession& operator=(const UnitSession&) = delete;

    // Runs one unit and waits for it, at most `bound`. A unit past its bound
    // is asked to stop; busy() tells when its worker has.
    // `image`, when given, is this unit's own (its serial number written in):
    // the session takes it first, and its lines are the unit's.
    UnitRun run(const Job& job, std::chrono::milliseconds bound, SharedImage image = nullptr,
                const std::string& imageName = "");
    // The lines of the unit running now.
    std::vector<std::string> linesSoFar() const;
    // Asks the running unit to stop at its next block; it then ends as
    // interrupted. For the rest of the session's life every unit stops so.
    void requestStop() const;
    // A worker (of a unit that ran past its bound) is still running.
    bool busy() const;
    // Waits at most `bound` for that worker to end.
    bool waitIdle(std::chrono::milliseconds bound) const;

private:
    void logLine(const std::string& line) override;
    void stepStarted(WorkerStep step) override;
    void progressStart() override;
    void progress(int position) override;

    const Observer observer_;
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
    // Last: it goes first, waiting for its worker, which reports here.
    std::unique_ptr<ProgrammerSession> session_;
};

// The session's operation of a job's command.
Operation jobOperation(JobCommand command);
