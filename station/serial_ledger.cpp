#include "station/serial_ledger.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "serial/unit_row.h"

namespace {

using namespace std::chrono_literals;
using vmserial::StoreError;

// An unreachable store is tried this often for one unit, this far apart.
constexpr int kTries = 3;
constexpr auto kRetryGap = 500ms;

class SerialLedger final : public SerialSource {
public:
    SerialLedger(std::unique_ptr<vmserial::SerialStore> store, const SerialPlan& plan,
                 vmserial::RunId run)
        : store_(std::move(store)), settings_(plan.settings), run_(run) {
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
            store_->endRun(run_);
        } catch (const StoreError&) {
            // The lease runs out on its own; a recovery voids what is left.
        }
    }

    SerialTake reserve(unsigned programmer, unsigned unit) override {
        std::string error;
        for (int attempt = 0; attempt < kTries; ++attempt) {
            if (attempt > 0 && !pause(kRetryGap)) break;
            try {
                const vmserial::ReserveResult result =
                    store_->reserve(run_, {std::to_string(programmer), static_cast<std::int64_t>(unit)});
                refreshLeft();
                if (std::holds_alternative<vmserial::RangeUsedUp>(result))
                    return {SerialTake::Kind::usedUp, 0, ""};
                return {SerialTake::Kind::number, std::get<vmserial::Reserved>(result).number, ""};
            } catch (const StoreError& e) {
                error = e.what();
            }
        }
        return {SerialTake::Kind::unreachable, 0, error};
    }

    bool settle(std::uint64_t number, const SerialEnd& end, const std::string* auditRecord,
                bool* recordKept) override {
        std::optional<vmserial::UnitRow> row;
        std::string error;
        if (auditRecord) row = vmserial::unitRowOf(*auditRecord, &error);
        const vmserial::UnitRow* record = row ? &*row : nullptr;
        if (recordKept) *recordKept = false;
        for (int attempt = 0; attempt < kTries; ++attempt) {
            if (attempt > 0 && !pause(kRetryGap)) break;
            try {
                if (end.kind == SerialEnd::Kind::passed) store_->settlePassed(run_, number, record);
                else if (end.kind == SerialEnd::Kind::freed) store_->settleFreed(run_, number, record);
                else store_->settleVoided(run_, number, end.failure, end.step, record);
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

    // Waits `gap`; false when the ledger is going.
    bool pause(std::chrono::milliseconds gap) {
        std::unique_lock<std::mutex> guard(lock_);
        return !wake_.wait_for(guard, gap, [this] { return stop_; });
    }

    void renewWhileAlive(std::chrono::seconds period) {
        while (pause(period)) {
            try {
                store_->renewLease(run_);
            } catch (const StoreError&) {
                // Tried again next period; a lease that ran out meanwhile is
                // the store's to judge.
            }
        }
    }

    std::unique_ptr<vmserial::SerialStore> store_;
    const vmserial::SerialSettings settings_;
    const vmserial::RunId run_;
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
        return std::make_shared<SerialLedger>(std::move(store), plan, run);
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
