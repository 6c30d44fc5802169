#include "station/serial_ledger.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "station/audit_row.h"

namespace {

using namespace std::chrono_literals;
using vmserial::StoreError;

// An unreachable store is tried again this far apart, for as long as the
// tries began less than kRetryFor ago: a store that refuses at once gets a
// few tries, a hung one (each try ends at the store's own bounds) one, so
// the station says so within those bounds.
constexpr auto kRetryGap = 500ms;
constexpr auto kRetryFor = 2s;

class SerialLedger final : public SerialSource {
public:
    SerialLedger(std::unique_ptr<vmserial::SerialStore> store, const SerialPlan& plan, const std::string& station,
                 vmserial::RunId run)
        : store_(std::move(store)), settings_(plan.settings), station_(station), run_(run) {
        refreshLeft();
        const auto period = std::chrono::seconds(std::max(1, plan.options.leaseSeconds / 3));
        lease_ = std::thread([this, period] { renewWhileAlive(period); });
    }

    ~SerialLedger() override {
        {
            std::lock_guard<std::mutex> guard(lock_);
            stop_ = true;
        }
        wake_.notify_all();
        lease_.join();  // a renewal in flight ends within the store's own time-outs
        try {
            store_->endRun(run_.load());
        } catch (const StoreError&) {
            // The lease runs out on its own; a recovery voids what is left.
        }
    }

    SerialTake reserve(unsigned programmer, unsigned unit) override {
        std::string error;
        const auto began = std::chrono::steady_clock::now();
        for (int attempt = 0;; ++attempt) {
            if (attempt > 0 && !tryAgain(began)) break;
            const vmserial::RunId run = run_.load();
            try {
                const vmserial::ReserveResult result =
                    store_->reserve(run, {std::to_string(programmer), static_cast<std::int64_t>(unit)});
                refreshLeft();
                if (std::holds_alternative<vmserial::RangeUsedUp>(result))
                    return {SerialTake::Kind::usedUp, 0, ""};
                const std::uint64_t number = std::get<vmserial::Reserved>(result).number;
                std::lock_guard<std::mutex> guard(holdersLock_);
                holders_[number] = run;
                return {SerialTake::Kind::number, number, ""};
            } catch (const StoreError& e) {
                error = e.what();
                if (e.kind == StoreError::Kind::leaseLost) runAgain(run);
            }
        }
        return {SerialTake::Kind::unreachable, 0, error};
    }

    bool settle(std::uint64_t number, const SerialEnd& end, const UnitAudit* unit, bool* recordKept) override {
        std::optional<vmserial::UnitRow> row;
        if (unit) row = auditRow(*unit);
        const vmserial::UnitRow* record = row ? &*row : nullptr;
        if (recordKept) *recordKept = false;
        // The run that reserved the number settles it, though a later run
        // has taken over since its lease lapsed.
        const vmserial::RunId run = holderOf(number);
        const auto began = std::chrono::steady_clock::now();
        for (int attempt = 0;; ++attempt) {
            if (attempt > 0 && !tryAgain(began)) break;
            try {
                if (end.kind == SerialEnd::Kind::passed) store_->settlePassed(run, number, record);
                else if (end.kind == SerialEnd::Kind::freed) store_->settleFreed(run, number, record);
                else store_->settleVoided(run, number, end.failure, end.step, record);
                // A number handed back is free again.
                if (end.kind == SerialEnd::Kind::freed) refreshLeft();
                if (recordKept) *recordKept = record != nullptr;
                return true;
            } catch (const StoreError& e) {
                if (e.kind != StoreError::Kind::unreachable) return false;
            }
        }
        return false;
    }

    std::shared_ptr<const std::vector<std::uint8_t>> imageWith(
        const std::shared_ptr<const std::vector<std::uint8_t>>& image, std::uint64_t number) const override {
        auto bytes = std::make_shared<std::vector<std::uint8_t>>(*image);
        vmserial::writeSerial(*bytes, settings_, number);
        return bytes;
    }

    std::uint64_t left() const override { return left_.load(); }

    std::pair<std::uint64_t, std::uint64_t> field() const override {
        return {settings_.offset, vmserial::fieldWidth(settings_)};
    }

private:
    void refreshLeft() {
        try {
            left_ = store_->status().free;
        } catch (const StoreError&) {
            // Kept as last seen.
        }
    }

    // After a failed try: waits for the next one, false when there is none.
    bool tryAgain(std::chrono::steady_clock::time_point began) {
        if (std::chrono::steady_clock::now() + kRetryGap - began > kRetryFor) return false;
        return pause(kRetryGap);
    }

    vmserial::RunId holderOf(std::uint64_t number) {
        std::lock_guard<std::mutex> guard(holdersLock_);
        const auto held = holders_.find(number);
        if (held == holders_.end()) return run_.load();
        const vmserial::RunId run = held->second;
        holders_.erase(held);
        return run;
    }

    // The store says the run `lost` is no longer alive (its lease lapsed
    // while the store or this station stood still): a new run takes over,
    // so that units go on once the store answers. The numbers the old run
    // still holds are settled by their units as before, or by their
    // records (serial/store_rules.h). Of two threads that find the lease
    // lost at once, the first run started is kept and the other ended.
    void runAgain(vmserial::RunId lost) {
        if (run_.load() != lost) return;
        try {
            const vmserial::RunId fresh = store_->startRun(station_);
            vmserial::RunId expected = lost;
            if (!run_.compare_exchange_strong(expected, fresh)) store_->endRun(fresh);
        } catch (const StoreError&) {
            // The next try or renewal asks again.
        }
    }

    // Waits `gap`; false when the ledger is going.
    bool pause(std::chrono::milliseconds gap) {
        std::unique_lock<std::mutex> guard(lock_);
        return !wake_.wait_for(guard, gap, [this] { return stop_; });
    }

    void renewWhileAlive(std::chrono::seconds period) {
        while (pause(period)) {
            const vmserial::RunId run = run_.load();
            try {
                store_->renewLease(run);
            } catch (const StoreError& e) {
                // Tried again next period; a lease that ran out meanwhile
                // gives way to a new run.
                if (e.kind == StoreError::Kind::leaseLost) runAgain(run);
            }
        }
    }

    std::unique_ptr<vmserial::SerialStore> store_;
    const vmserial::SerialSettings settings_;
    const std::string station_;
    std::atomic<vmserial::RunId> run_;
    std::mutex holdersLock_;
    std::map<std::uint64_t, vmserial::RunId> holders_;  // numbers reserved, not settled: by which run
    std::atomic<std::uint64_t> left_{0};
    std::mutex lock_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread lease_;
};

}  // namespace

std::shared_ptr<SerialSource> openSerialLedger(const SerialPlan& plan, const std::string& station,
                                               std::string* error) {
    try {
        std::unique_ptr<vmserial::SerialStore> store =
            vmserial::openSerialStore(plan.settings.store, plan.job, plan.options);
        store->setupRange({plan.settings.first, plan.settings.last, plan.settings.step});
        store->recover();
        const vmserial::RunId run = store->startRun(station);
        return std::make_shared<SerialLedger>(std::move(store), plan, station, run);
    } catch (const StoreError& e) {
        *error = vmserial::shownStoreUrl(plan.settings.store) + ": " + e.what();
        return nullptr;
    }
}

std::function<std::shared_ptr<SerialSource>(const std::string& station, std::string* error)> serialLedgerOpener(
    const std::optional<vmserial::SerialSettings>& settings, const std::string& job) {
    if (!settings) return {};
    SerialPlan plan;
    plan.settings = *settings;
    plan.job = job;
    return [plan](const std::string& station, std::string* error) { return openSerialLedger(plan, station, error); };
}
