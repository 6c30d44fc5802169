#include "station/record_shipper.h"

#include <fstream>

#include "platform/files.h"
#include "serial/unit_records.h"
#include "serial/unit_row.h"

namespace {

// Records sent to the store in one transaction when a spool is sent on.
constexpr std::size_t kBatch = 256;

}  // namespace

RecordShipper::RecordShipper(ShipperPlan plan) : plan_(std::move(plan)) {
    // A spool left by an earlier run (the store was away when it ended) is
    // sent at the first chance, before anything of this run.
    state_.waiting = spoolLines();
    spooled_ = state_.waiting > 0;
    thread_ = std::thread([this] { run(); });
}

RecordShipper::~RecordShipper() {
    if (thread_.joinable()) finish(std::chrono::milliseconds(0));
}

void RecordShipper::send(const std::string& auditRecord) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        queue_.push_back(auditRecord);
    }
    wake_.notify_all();
}

ShipperState RecordShipper::state() const {
    std::lock_guard<std::mutex> guard(lock_);
    return state_;
}

RecordsLeft RecordShipper::end(std::chrono::milliseconds bound) {
    const ShipperState state = finish(bound);
    return {state.waiting, state.error, state.waiting > 0 ? plan_.spool : ""};
}

ShipperState RecordShipper::finish(std::chrono::milliseconds bound) {
    {
        std::unique_lock<std::mutex> guard(lock_);
        // Whatever is queued is delivered or spooled before the thread
        // ends; a spool gets its tries meanwhile, for at most `bound`.
        idle_.wait_for(guard, bound, [this] { return queue_.empty() && !busy_ && !spooled_; });
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();  // a call in flight ends within the store's own time-outs
    return state();
}

void RecordShipper::run() {
    std::unique_lock<std::mutex> guard(lock_);
    while (true) {
        // With a spool waiting, wake for its next try; else for a record.
        wake_.wait_for(guard, plan_.retry, [this] { return stop_ || !queue_.empty(); });
        const bool last = stop_;
        std::vector<std::string> batch(std::make_move_iterator(queue_.begin()),
                                       std::make_move_iterator(queue_.end()));
        queue_.clear();
        if (batch.empty() && !spooled_ && !last) continue;
        busy_ = true;
        guard.unlock();
        deliver(std::move(batch));
        guard.lock();
        busy_ = false;
        idle_.notify_all();
        if (last) break;
    }
}

// Records go after the ones that wait, so the store gets them in order.
void RecordShipper::deliver(std::vector<std::string> batch) {
    if (!spooled_ && !batch.empty()) {
        if (putAll(batch)) return;
        spoolAll(batch);
        return;
    }
    if (!batch.empty()) spoolAll(batch);
    if (spooled_) sendSpool();
}

bool RecordShipper::putAll(const std::vector<std::string>& records) {
    std::vector<vmserial::UnitRow> rows;
    rows.reserve(records.size());
    for (const std::string& record : records) {
        std::string error;
        // A line that is no audit record of ours (a torn spool line) stays
        // only in the log.
        if (auto row = vmserial::unitRowOf(record, &error)) rows.push_back(std::move(*row));
    }
    try {
        if (!store_) store_ = vmserial::openRecordStore(plan_.store, plan_.options);
        store_->putRecords(rows);
    } catch (const vmserial::StoreError& e) {
        store_.reset();  // opened again at the next try
        std::lock_guard<std::mutex> guard(lock_);
        state_.error = vmserial::shownStoreUrl(plan_.store) + ": " + e.what();
        return false;
    }
    std::lock_guard<std::mutex> guard(lock_);
    state_.stored += records.size();
    state_.error.clear();
    return true;
}

bool RecordShipper::spoolAll(const std::vector<std::string>& records) {
    bool durable = !plan_.spool.empty();
    if (durable && !spoolFile_) {
        std::string error;
        spoolFile_ = platform::AppendFile::open(plan_.spool, &error);
        durable = spoolFile_ != nullptr;
    }
    for (const std::string& record : records) {
        const std::string line = record.empty() || record.back() != '\n' ? record + "\n" : record;
        if (!durable || !spoolFile_->append(line)) memorySpool_.push_back(line);
    }
    std::lock_guard<std::mutex> guard(lock_);
    spooled_ = true;
    state_.waiting += records.size();
    return durable;
}

// Sends what waits, the file's lines in batches; the spool goes only once
// all of it is in the store. A crash in between sends it again, and the
// store keeps each record once.
bool RecordShipper::sendSpool() {
    if (!memorySpool_.empty()) {
        if (!putAll(memorySpool_)) return false;
        memorySpool_.clear();
    }
    if (!plan_.spool.empty()) {
        spoolFile_.reset();
        std::ifstream in(plan_.spool);
        std::vector<std::string> batch;
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty()) continue;
            batch.push_back(line);
            if (batch.size() == kBatch) {
                if (!putAll(batch)) return false;
                batch.clear();
            }
        }
        if (!batch.empty() && !putAll(batch)) return false;
        in.close();
        platform::removeFile(plan_.spool.c_str());
    }
    std::lock_guard<std::mutex> guard(lock_);
    spooled_ = false;
    state_.waiting = 0;
    return true;
}

std::size_t RecordShipper::spoolLines() const {
    if (plan_.spool.empty()) return 0;
    std::ifstream in(plan_.spool);
    std::size_t lines = 0;
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) ++lines;
    return lines;
}
