// The shared ledger of a run on many programmers: unit numbers, the units
// running, each unit's end (time, audit record, tally), and what a front
// end sees of it through its observer. Safe from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/append_file.h"
#include "station/job.h"
#include "station/observer.h"
#include "station/record_sink.h"
#include "station/serial_source.h"
#include "station/unit_report.h"

class UnitSession;

class Production {
public:
    using Clock = std::chrono::steady_clock;

    // `keepUnits`: the ledger keeps every unit's record (with its lines) for
    // the final report; without it only the tally grows with the run.
    Production(Job job, JobFacts facts, std::unique_ptr<platform::AppendFile> log,
               StationObserver& observer, bool keepUnits = true);

    const Job& job() const { return job_; }
    const JobFacts& facts() const { return facts_; }

    // Events of the programmers, handed to the observer in order.
    void programmerAdded(unsigned programmer, const std::vector<std::string>& ports);
    void programmerNotOpened(unsigned programmer);
    void programmerRemoved(unsigned programmer);
    void moduleSeated(unsigned programmer, std::uint32_t chip);
    void moduleTakenOut(unsigned programmer);
    void moduleKept(unsigned programmer);
    void unitLine(unsigned programmer, const std::string& line);
    void unitProgress(unsigned programmer, UnitPhase phase, int percent);
    void flashSizeDiffers(unsigned programmer, std::uint32_t chosen, std::uint32_t reported);

    // The next unit number, or 0 when no more units are to start (the count
    // is reached, or the run stops taking modules). A number given back is
    // claimed again before any new one, the lowest first, so a run of
    // `count` units numbers them 1..count whatever did not start.
    unsigned claimUnit();
    // A claimed unit that did not start (it got no serial number, or no
    // module was there after all): its number is free again.
    void returnUnit(unsigned number);

    // The run's serial numbers; null when its units get none.
    void setSerials(std::shared_ptr<SerialSource> serials) { serials_ = std::move(serials); }
    SerialSource* serials() const { return serials_.get(); }
    // Where every unit's record goes besides the log (the line's records);
    // null when nowhere.
    void setRecords(std::shared_ptr<RecordSink> records) { records_ = std::move(records); }
    // The run's end for its records: waits at most `bound` for the store to
    // take them (station/record_sink.h).
    RecordsLeft endRecords(std::chrono::milliseconds bound);
    // The range is used up: no unit starts any more.
    void rangeUsedUp();
    bool usedUp() const;
    // The serial store could not be reached for a unit (`error` says why),
    // or can again (empty): the observer hears of each change once.
    void serialTrouble(const std::string& error);
    // A claimed unit starts on `session`; it counts as running until ended.
    void unitStarted(const UnitRecord& unit, const UnitSession* session);
    // The unit's end time, set before its record is made (and settled with
    // its serial number); unitEnded keeps it.
    static void stampEnd(UnitRecord& unit);
    // The unit ended: its time, audit record and tally. Ignored once the
    // ledger was closed. When its audit record could not be written, no
    // more units start (the running ones finish). `record`: its audit record
    // when made already (stampEnd, then auditRecord); `kept`: the store has
    // it already (it was kept with the unit's serial number).
    void unitEnded(UnitRecord unit, std::string record = {}, bool kept = false);
    // Writes a unit's audit record to the log ahead of its end: a unit with
    // a serial number is logged (and kept ahead for the line's store, see
    // RecordSink::keepAhead) before its number is settled in the store, so a
    // store that hangs or a kill never leaves a unit off the record.
    // unitEnded then logs it no second time. False when it could not be
    // written (no unit starts after it).
    // A unit logged ahead is not logged again as interrupted by
    // closeWithRunningInterrupted.
    //
    // `records` kept ahead by an earlier run that died (RecordSink::aheadLeft)
    // go into the log unless `tail`, the log's end as it was found, has them.
    void logMissing(const std::vector<std::string>& records, const std::string& tail);
    bool logAhead(unsigned unit, const std::string& record);
    // Units whose audit record could not be written, and the system's reason
    // for the last of them.
    unsigned unrecorded() const;
    std::string logError() const;

    // No more units start; the running ones finish.
    void stopTaking();
    // The running units stop at their next block (an erase that runs is
    // waited for) and end as interrupted; no more units start.
    void stopRunning();
    // The running units end here as interrupted, with the lines they logged
    // so far, and the ledger closes: no unit ends after. `last` runs under
    // the lock with the run as it then stands.
    struct Snapshot {
        std::vector<UnitRecord> units;
        Tally tally;
        double seconds = 0;
        unsigned unrecorded = 0;  // units whose audit record could not be written
    };
    void closeWithRunningInterrupted(const std::function<void(const Snapshot&)>& last);

    bool taking() const;
    bool stopped() const;  // stopTaking() or the count reached
    unsigned running() const;
    // Waits for a change (a unit's end, a stop), at most `bound`.
    void waitForChange(Clock::duration bound);
    Snapshot snapshot() const;

    // A programmer's counts, the unit running on it (0: none) and its last
    // result ("PASS", "FAIL", "").
    struct ProgrammerView {
        unsigned units = 0;
        unsigned passed = 0;
        unsigned unit = 0;
        std::string last;
        std::optional<std::uint64_t> serial;  // of the running unit, else of the last
    };
    ProgrammerView view(unsigned programmer) const;

private:
    void endLocked(UnitRecord unit, std::string record, bool kept);
    bool appendLog(const std::string& record);
    Snapshot snapshotLocked() const;

    const Job job_;
    const JobFacts facts_;
    const bool keepUnits_;
    std::unique_ptr<platform::AppendFile> log_;
    StationObserver& observer_;
    Clock::time_point start_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    unsigned claimed_ = 0;
    std::set<unsigned> returned_;  // claimed numbers given back
    std::map<std::string, bool> loggedAhead_;  // records logged ahead: written?
    std::mutex logLock_;  // the log's own: a slow disk holds no lane's event
    std::shared_ptr<SerialSource> serials_;
    std::shared_ptr<RecordSink> records_;
    bool usedUp_ = false;
    std::string serialTrouble_;
    bool taking_ = true;
    bool closed_ = false;
    struct Running {
        UnitRecord unit;
        const UnitSession* session;
        Clock::time_point start;
        bool logged = false;  // its audit record is in the log already
    };
    std::map<unsigned, Running> running_;
    std::vector<UnitRecord> units_;
    Tally tally_;
    std::map<unsigned, bool> lastPassed_;
    std::map<unsigned, std::uint64_t> lastSerial_;
    unsigned unrecorded_ = 0;
    std::string logError_;
};
