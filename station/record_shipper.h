// The line's records on their way to the store: each unit's audit record is
// queued and written to the store by a thread of its own, so a slow or
// absent store never holds a unit. A record the store did not take is kept
// in the spool file (one audit record per line, made durable before it
// counts as kept) and sent on at the next chance, the spool left by an
// earlier run first; the store keeps a record once by its run and unit, so
// a record sent twice (a spool sent again after a crash) is counted once.
// A spool knows its store: its first line names it (spoolHeader), and a
// run with another store leaves it alone (its records wait for a run with
// their own store) and keeps its own spool beside it, in a file named for
// its store.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/append_file.h"
#include "serial/serial_store.h"
#include "serial/unit_records.h"
#include "station/record_sink.h"

namespace vmserial {
class RecordStore;
}

// A spool's lines as the store's rows: the lines that are no audit record
// of ours (a torn line) left out.
std::vector<vmserial::UnitRow> rowsOf(const std::vector<std::string>& lines);

struct ShipperPlan {
    std::string store;  // the store's URL
    // The spool file (beside the log); empty: records the store did not
    // take wait in memory only, and are lost with the process.
    std::string spool;
    vmserial::StoreOptions options;
    std::chrono::milliseconds retry{2000};  // how often a spool is sent on
};

// What has not reached the store (yet).
struct ShipperState {
    std::uint64_t stored = 0;   // records the store took from this shipper
    std::uint64_t waiting = 0;  // records in the spool (or in memory)
    std::string error;          // why the store last refused, "" once it took them
    std::string spool;          // the file this shipper's records wait in
    // A spool found for another store (or for none named): left alone, and
    // why; "" when there was none.
    std::string leftAlone;
};

// The first line of a spool whose records are for the store at `storeUrl`.
std::string spoolHeader(const std::string& storeUrl);

class RecordShipper final : public RecordSink {
public:
    explicit RecordShipper(ShipperPlan plan);
    ~RecordShipper() override;  // a last sending, bounded by `finish`'s bound
    RecordShipper(const RecordShipper&) = delete;
    RecordShipper& operator=(const RecordShipper&) = delete;

    void send(const UnitAudit& unit) override;
    // Into the programmer's ahead file (SPOOL.ahead.P, replaced whole), which
    // a clean end removes; a run that finds them left by a crash moves their
    // records into the spool.
    void keepAhead(unsigned programmer, const std::string& auditRecord) override;
    std::vector<std::string> aheadLeft() const override { return aheadLeft_; }
    RecordsLeft end(std::chrono::milliseconds bound) override;

    // Waits at most `bound` until everything sent so far has reached the
    // store (or stays in the spool), then stops the thread.
    ShipperState finish(std::chrono::milliseconds bound);
    ShipperState state() const;

private:
    void run();
    void deliver(std::vector<vmserial::UnitRow> batch);
    bool putAll(const std::vector<vmserial::UnitRow>& rows);
    bool spoolAll(const std::vector<vmserial::UnitRow>& rows);
    bool sendSpool();
    bool sendFile(const std::string& path);
    void chooseSpool();
    void takeAheadLeft();
    std::vector<std::string> aheadFiles() const;

    const ShipperPlan plan_;
    const std::string header_;
    std::string ownSpool_;              // where this run's records wait
    std::vector<std::string> spools_;   // the files of ours to send, ownSpool_ last
    std::unique_ptr<vmserial::RecordStore> store_;
    std::unique_ptr<platform::AppendFile> spoolFile_;
    std::vector<vmserial::UnitRow> memorySpool_;  // without a spool file
    std::vector<std::string> aheadLeft_;  // found at the start, spooled since
    bool spooled_ = false;                 // the spool holds records
    mutable std::mutex lock_;
    std::condition_variable wake_, idle_;
    std::deque<vmserial::UnitRow> queue_;
    bool busy_ = false, stop_ = false;
    ShipperState state_;
    std::thread thread_;
};
