#include "station/record_shipper.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <fstream>

#include "platform/files.h"
#include "serial/store_key.h"
#include "serial/unit_records.h"
#include "serial/unit_row.h"
#include "station/audit_row.h"
#include "station/json_text.h"

namespace {

// Records sent to the store in one transaction when a spool is sent on.
constexpr std::size_t kBatch = 256;

// The key of a spool's header line (spoolHeader): the store it is for.
constexpr const char* kSpoolFor = "spool_for";

// The store a spool's header names, as it names it; nullopt when `line` is
// no header.
std::optional<std::string> headerStore(const std::string& line) {
    const Json header = Json::parse(line, nullptr, false);
    if (!header.is_object() || header.size() != 1 || !header.contains(kSpoolFor) ||
        !header[kSpoolFor].is_string())
        return std::nullopt;
    return header[kSpoolFor].get<std::string>();
}

// What a spool file holds: nothing (or only torn lines), records for the
// store of `header`, or records for another store or for none named.
struct SpoolLook {
    enum class Kind { none, ours, foreign } kind = Kind::none;
    std::string firstLine;
    std::size_t lines = 0;  // the lines after a header of ours
};

SpoolLook lookAt(const std::string& path, const std::string& header) {
    SpoolLook look;
    std::ifstream in(path);
    bool records = false;
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        if (look.firstLine.empty()) {
            look.firstLine = line;
            if (line == header) continue;
        }
        ++look.lines;
        std::string error;
        records = records || vmserial::unitRowOf(line, &error);
    }
    if (look.firstLine == header) look.kind = SpoolLook::Kind::ours;
    else if (records || headerStore(look.firstLine)) look.kind = SpoolLook::Kind::foreign;
    return look;
}

// A short stable name of a store, for its spool file's name.
std::string storeTag(const std::string& key) {
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : key) hash = (hash ^ c) * 1099511628211ull;
    char tag[17];
    std::snprintf(tag, sizeof tag, "%016llx", static_cast<unsigned long long>(hash));
    return tag;
}

}  // namespace

std::vector<vmserial::UnitRow> rowsOf(const std::vector<std::string>& lines) {
    std::vector<vmserial::UnitRow> rows;
    rows.reserve(lines.size());
    for (const std::string& line : lines) {
        std::string error;
        // A line that is no audit record of ours (a torn spool line) stays
        // only in the log.
        if (auto row = vmserial::unitRowOf(line, &error)) rows.push_back(std::move(*row));
    }
    return rows;
}

std::string spoolHeader(const std::string& storeUrl) {
    Json header;
    header[kSpoolFor] = vmserial::storeKey(storeUrl);
    return jsonLine(std::move(header));
}

RecordShipper::RecordShipper(ShipperPlan plan) : plan_(std::move(plan)), header_(spoolHeader(plan_.store)) {
    // A spool left by an earlier run (the store was away when it ended) is
    // sent at the first chance, before anything of this run.
    chooseSpool();
    takeAheadLeft();
    spooled_ = state_.waiting > 0;
    thread_ = std::thread([this] { run(); });
}

// The spool file of this run's store: the one beside the log, unless that
// holds another store's records; then one named for this run's store.
void RecordShipper::chooseSpool() {
    if (plan_.spool.empty()) return;
    const std::string named = plan_.spool + "." + storeTag(vmserial::storeKey(plan_.store));
    const SpoolLook beside = lookAt(plan_.spool, header_);
    const SpoolLook mine = lookAt(named, header_);
    if (beside.kind == SpoolLook::Kind::foreign) {
        const std::string store = headerStore(beside.firstLine).value_or("");
        state_.leftAlone = plan_.spool + " holds unit records for " +
                           (store.empty() ? "a store it does not name" : "another store, " + store) +
                           ": left alone; this run's records wait in " + named;
        ownSpool_ = named;
    } else {
        ownSpool_ = plan_.spool;
        if (beside.kind == SpoolLook::Kind::none) platform::removeFile(plan_.spool.c_str());
        if (mine.kind == SpoolLook::Kind::ours) {
            spools_.push_back(named);
            state_.waiting += mine.lines;
        }
    }
    const SpoolLook own = ownSpool_ == plan_.spool ? beside : mine;
    if (own.kind == SpoolLook::Kind::ours) state_.waiting += own.lines;
    else if (own.kind == SpoolLook::Kind::none) platform::removeFile(ownSpool_.c_str());
    spools_.push_back(ownSpool_);
    state_.spool = ownSpool_;
}

// The ahead files of this spool: one per programmer with a unit in flight.
std::vector<std::string> RecordShipper::aheadFiles() const {
    std::vector<std::string> files;
    if (ownSpool_.empty()) return files;
    const std::filesystem::path spool(ownSpool_);
    const std::string prefix = spool.filename().string() + ".ahead.";
    std::error_code error;
    const std::filesystem::path folder = spool.has_parent_path() ? spool.parent_path() : ".";
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix) && !name.ends_with(".new")) files.push_back(entry.path().string());
    }
    return files;
}

// Records kept ahead by a run that died before their settles: into the
// spool, sent with it.
void RecordShipper::takeAheadLeft() {
    const std::vector<std::string> files = aheadFiles();
    for (const std::string& file : files) {
        if (lookAt(file, header_).kind != SpoolLook::Kind::ours) continue;
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);)
            if (!line.empty() && line != header_) aheadLeft_.push_back(line);
    }
    if (!aheadLeft_.empty() && !spoolAll(rowsOf(aheadLeft_))) return;  // kept in the files for the next run
    spoolFile_.reset();
    for (const std::string& file : files) platform::removeFile(file.c_str());
}

void RecordShipper::keepAhead(unsigned programmer, const std::string& auditRecord) {
    if (ownSpool_.empty()) return;
    // Written whole beside, then put in place: the file holds this unit or
    // the one before, never part of one.
    const std::string path = ownSpool_ + ".ahead." + std::to_string(programmer);
    const std::string fresh = path + ".new";
    platform::removeFile(fresh.c_str());
    std::string error;
    std::unique_ptr<platform::AppendFile> file = platform::AppendFile::open(fresh, &error);
    const std::string line = auditRecord.empty() || auditRecord.back() != '\n' ? auditRecord + "\n" : auditRecord;
    // Without it the log has the record all the same; the settle is tried as ever.
    if (file && file->append(header_ + "\n" + line)) {
        file.reset();
        platform::replaceFile(fresh.c_str(), path.c_str());
    }
}

RecordShipper::~RecordShipper() {
    if (thread_.joinable()) finish(std::chrono::milliseconds(0));
}

void RecordShipper::send(const UnitAudit& unit) {
    std::optional<vmserial::UnitRow> row = auditRow(unit);
    if (!row) return;  // never stamped: no record of a unit's end
    {
        std::lock_guard<std::mutex> guard(lock_);
        queue_.push_back(std::move(*row));
    }
    wake_.notify_all();
}

ShipperState RecordShipper::state() const {
    std::lock_guard<std::mutex> guard(lock_);
    return state_;
}

RecordsLeft RecordShipper::end(std::chrono::milliseconds bound) {
    const ShipperState state = finish(bound);
    // Every unit has settled: what was kept ahead is in the store with its
    // settle, or was sent (and spooled) since.
    for (const std::string& file : aheadFiles()) platform::removeFile(file.c_str());
    return {state.waiting, state.error, state.waiting > 0 ? state.spool : "", state.leftAlone};
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
        std::vector<vmserial::UnitRow> batch(std::make_move_iterator(queue_.begin()),
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
void RecordShipper::deliver(std::vector<vmserial::UnitRow> batch) {
    if (!spooled_ && !batch.empty()) {
        if (putAll(batch)) return;
        spoolAll(batch);
        return;
    }
    if (!batch.empty()) spoolAll(batch);
    if (spooled_) sendSpool();
}

bool RecordShipper::putAll(const std::vector<vmserial::UnitRow>& rows) {
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
    state_.stored += rows.size();
    state_.error.clear();
    return true;
}

bool RecordShipper::spoolAll(const std::vector<vmserial::UnitRow>& rows) {
    bool durable = !ownSpool_.empty();
    if (durable && !spoolFile_) {
        // A new spool names its store first.
        const bool headed = lookAt(ownSpool_, header_).kind == SpoolLook::Kind::ours;
        std::string error;
        spoolFile_ = platform::AppendFile::open(ownSpool_, &error);
        if (spoolFile_ && !headed && !spoolFile_->append(header_ + "\n")) spoolFile_.reset();
        durable = spoolFile_ != nullptr;
    }
    for (const vmserial::UnitRow& row : rows)
        if (!durable || !spoolFile_->append(row.record + "\n")) memorySpool_.push_back(row);
    std::lock_guard<std::mutex> guard(lock_);
    spooled_ = true;
    state_.waiting += rows.size();
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
    spoolFile_.reset();
    for (const std::string& path : spools_)
        if (!sendFile(path)) return false;
    if (!ownSpool_.empty()) spools_ = {ownSpool_};
    std::lock_guard<std::mutex> guard(lock_);
    spooled_ = false;
    state_.waiting = 0;
    return true;
}

// One spool file of ours, its header left out; removed once all of it is in
// the store.
bool RecordShipper::sendFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) return true;  // sent already
    std::vector<std::string> batch;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line == header_) continue;
        batch.push_back(line);
        if (batch.size() == kBatch) {
            if (!putAll(rowsOf(batch))) return false;
            batch.clear();
        }
    }
    if (!batch.empty() && !putAll(rowsOf(batch))) return false;
    in.close();
    platform::removeFile(path.c_str());
    return true;
}
