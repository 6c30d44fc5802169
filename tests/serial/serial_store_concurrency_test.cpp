// Many connections at once: sixteen lanes never share a number on either
// store; a PostgreSQL reservation skips a row another transaction holds
// instead of waiting for it; and the typed errors of a store out of reach.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <latch>
#include <map>
#include <mutex>
#include <thread>

#include "serial/pg_conn.h"
#include "store_contract_support.h"

using namespace vmserial;
using namespace serialtest;
using Kind = StoreError::Kind;

namespace {

// What the lanes share; each lane holds it until it has ended, so a lane
// still running past the test's bound touches nothing freed.
struct Lanes {
    std::mutex m;
    std::condition_variable ended;
    int running = 0;
    std::vector<std::uint64_t> passed;
    std::vector<std::string> errors;
    std::latch start;
    explicit Lanes(int count) : running(count), start(count) {}
};

// One lane: its own connection and run; reserves until the range is used up,
// handing every fourth number back and passing the others.
void lane(std::shared_ptr<Lanes> lanes, std::string url, int index) {
    std::vector<std::uint64_t> mine;
    std::string error;
    try {
        auto store = openSerialStore(url, "job");
        store->setupRange({1, 400, 1});
        const RunId run = store->startRun("lane" + std::to_string(index));
        lanes->start.arrive_and_wait();
        for (int unit = 1;; ++unit) {
            const ReserveResult result = store->reserve(run, {"USB" + std::to_string(index), unit});
            const auto* reserved = std::get_if<Reserved>(&result);
            if (!reserved) break;
            if (unit % 4 == 0) {
                store->settleFreed(run, reserved->number);
            } else {
                store->settlePassed(run, reserved->number);
                mine.push_back(reserved->number);
            }
        }
    } catch (const std::exception& e) {
        error = e.what();
    }
    std::lock_guard lock(lanes->m);
    lanes->passed.insert(lanes->passed.end(), mine.begin(), mine.end());
    if (!error.empty()) lanes->errors.push_back(error);
    --lanes->running;
    lanes->ended.notify_all();
}

}  // namespace

TEST_P(StoreContract, SixteenConnectionsNeverShareANumber) {
    open({1, 400, 1});  // the schema and range exist before the lanes race
    constexpr int count = 16;
    auto lanes = std::make_shared<Lanes>(count);
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) threads.emplace_back(lane, lanes, url_, i);
    std::unique_lock lock(lanes->m);
    const bool ended = lanes->ended.wait_for(lock, std::chrono::minutes(3), [&] { return lanes->running == 0; });
    lock.unlock();
    for (std::thread& t : threads) ended ? t.join() : t.detach();
    ASSERT_TRUE(ended) << "the lanes did not end within three minutes";
    for (const std::string& e : lanes->errors) ADD_FAILURE() << e;

    std::map<std::uint64_t, int> times;
    for (std::uint64_t n : lanes->passed) ++times[n];
    for (const auto& [number, n] : times) EXPECT_EQ(n, 1) << "number " << number << " passed " << n << " times";
    EXPECT_EQ(times.size(), 400u);
    EXPECT_EQ(times.begin()->first, 1u);
    EXPECT_EQ(times.rbegin()->first, 400u);
    const StoreStatus status = open({1, 400, 1})->status();
    EXPECT_EQ(status.programmed, 400u);
    EXPECT_EQ(status.free + status.reserved + status.voided, 0u);
}

// The PostgreSQL store: a free number's row locked by another transaction is
// skipped, not waited for.
TEST(PostgresStore, AReservationSkipsARowAnotherTransactionHolds) {
    const std::string url = freshStoreUrl(Backend::postgres, "skips_locked_row");
    auto store = openSerialStore(url, "job");
    store->setupRange({1, 10, 1});
    const RunId run = store->startRun("A");
    const std::uint64_t first = std::get<Reserved>(store->reserve(run, {"USB0", 1})).number;
    store->settleFreed(run, first);

    PgConn holder(url, 10);
    holder.exec("BEGIN");
    holder.exec("SELECT number FROM serial_numbers WHERE number = 1 FOR UPDATE");
    auto reservation = std::async(std::launch::async, [&] { return store->reserve(run, {"USB1", 2}); });
    const bool answered = reservation.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    holder.exec("ROLLBACK");  // lets a waiting reservation go, so the future ends
    ASSERT_TRUE(answered) << "the reservation waited for the locked row";
    EXPECT_EQ(std::get<Reserved>(reservation.get()).number, 2u);
    EXPECT_EQ(std::get<Reserved>(store->reserve(run, {"USB0", 3})).number, 1u);
}

TEST(SerialStoreOpen, UnreachableStoresAndBadUrlsAreTypedErrors) {
    // Port 1 of the loopback, where nobody listens; the harness's server
    // with a database it does not have.
    const std::string url = postgresUrl("postgres");
    const std::string closed = "postgresql://vm612k@127.0.0.1:1/postgres";
    EXPECT_EQ(errorOf([&] { openSerialStore(closed, "job"); }), Kind::unreachable);
    EXPECT_EQ(errorOf([&] { openSerialStore(url.substr(0, url.rfind('/')) + "/no_such_db", "job"); }),
              Kind::unreachable);
    EXPECT_EQ(errorOf([&] { openSerialStore("sqlite:/no/such/folder/serials.db", "job"); }), Kind::unreachable);
    EXPECT_EQ(errorOf([&] { openSerialStore("mysql://x", "job"); }), Kind::badUrl);
    EXPECT_EQ(errorOf([&] { openSerialStore("sqlite:", "job"); }), Kind::badUrl);
}
