// The store contract, the same cases on SQLite and on PostgreSQL: the order
// of reservations, the settles, the recovery of dead runs by the store's
// clock, a used-up range, the schema version, and the void by hand.
#include <gtest/gtest.h>

#include "store_contract_support.h"

using namespace vmserial;
using namespace serialtest;
using Kind = StoreError::Kind;

namespace {

const SerialRecord* find(const std::vector<SerialRecord>& records, std::uint64_t number) {
    for (const SerialRecord& r : records)
        if (r.number == number) return &r;
    return nullptr;
}

}  // namespace

TEST_P(StoreContract, ReservesTheLowestFreeNumberAndRecordsItsUnit) {
    auto store = open({1000, 1008, 2});  // 1000 1002 1004 1006 1008
    const RunId run = store->startRun("station-A");
    EXPECT_EQ(take(*store, run, "USB0", 1), 1000u);
    EXPECT_EQ(take(*store, run, "USB1", 2), 1002u);
    EXPECT_EQ(take(*store, run, "USB2", 3), 1004u);
    store->settleFreed(run, 1002);
    // A number handed back is the lowest free one again.
    EXPECT_EQ(take(*store, run, "USB3", 4), 1002u);
    EXPECT_EQ(take(*store, run, "USB0", 5), 1006u);

    const auto records = store->list(std::nullopt);
    ASSERT_EQ(records.size(), 4u);
    const SerialRecord* r = find(records, 1002);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->state, SerialState::reserved);
    EXPECT_EQ(r->run, run);
    EXPECT_EQ(r->station, "station-A");
    EXPECT_EQ(r->programmer, "USB3");
    EXPECT_EQ(r->unit, 4);
    EXPECT_FALSE(r->time.empty());

    const StoreStatus status = store->status();
    EXPECT_EQ(status.reserved, 4u);
    EXPECT_EQ(status.free, 1u);
    EXPECT_EQ(status.nextFree, 1008u);
    ASSERT_EQ(status.liveRuns.size(), 1u);
    EXPECT_EQ(status.liveRuns[0].id, run);
    EXPECT_EQ(status.liveRuns[0].station, "station-A");
}

TEST_P(StoreContract, PassFreeAndVoidSettleOnlyTheRunsOwnReservation) {
    auto store = open();
    const RunId run = store->startRun("A");
    const RunId other = store->startRun("B");
    const std::uint64_t passed = take(*store, run), freed = take(*store, run), voided = take(*store, run);
    store->settlePassed(run, passed);
    store->settleFreed(run, freed);
    store->settleVoided(run, voided, "verify error at 0x001000", "verify");

    EXPECT_EQ(errorOf([&] { store->settlePassed(run, passed); }), Kind::notReserved);
    EXPECT_EQ(errorOf([&] { store->settleVoided(run, freed, "x", "program"); }), Kind::notReserved);
    const std::uint64_t others = take(*store, other);
    EXPECT_EQ(others, freed);
    EXPECT_EQ(errorOf([&] { store->settlePassed(run, others); }), Kind::notReserved);

    const auto records = store->list(std::nullopt);
    EXPECT_EQ(find(records, passed)->state, SerialState::programmed);
    EXPECT_EQ(find(records, passed)->programmer, "USB0");
    const SerialRecord* v = find(records, voided);
    EXPECT_EQ(v->state, SerialState::voided);
    EXPECT_EQ(v->reason, "verify error at 0x001000");
    EXPECT_EQ(v->step, "verify");
    EXPECT_EQ(v->unit, 1);
    EXPECT_EQ(find(records, others)->station, "B");

    const auto onlyVoid = store->list(SerialState::voided);
    ASSERT_EQ(onlyVoid.size(), 1u);
    EXPECT_EQ(onlyVoid[0].number, voided);
    const StoreStatus status = store->status();
    EXPECT_EQ(status.programmed, 1u);
    EXPECT_EQ(status.voided, 1u);
    EXPECT_EQ(status.reserved, 1u);
    EXPECT_EQ(status.free, 7u);
}

TEST_P(StoreContract, RecoverVoidsTheReservationsOfEndedRunsOnly) {
    auto station1 = open();
    auto station2 = open();
    const RunId gone = station1->startRun("killed");
    const RunId alive = station2->startRun("alive");
    const std::uint64_t a = take(*station1, gone), b = take(*station2, alive), c = take(*station1, gone);
    station1->settlePassed(gone, a);  // settled before the end: kept
    const std::uint64_t d = take(*station1, gone);
    station1->endRun(gone);

    EXPECT_EQ(station2->recover(), (std::vector<std::uint64_t>{c, d}));
    const auto records = station2->list(std::nullopt);
    EXPECT_EQ(find(records, c)->state, SerialState::voided);
    EXPECT_EQ(find(records, c)->reason, runEndedReason);
    EXPECT_EQ(find(records, c)->station, "killed");
    EXPECT_EQ(find(records, a)->state, SerialState::programmed);
    EXPECT_EQ(find(records, b)->state, SerialState::reserved);
    EXPECT_TRUE(station2->recover().empty());

    // The ended run's late words change nothing.
    EXPECT_EQ(errorOf([&] { station1->settlePassed(gone, c); }), Kind::notReserved);
    EXPECT_EQ(errorOf([&] { station1->renewLease(gone); }), Kind::leaseLost);
    EXPECT_EQ(errorOf([&] { station1->reserve(gone, {"USB0", 9}); }), Kind::leaseLost);
    const StoreStatus status = station2->status();
    ASSERT_EQ(status.liveRuns.size(), 1u);
    EXPECT_EQ(status.liveRuns[0].id, alive);
}

TEST_P(StoreContract, ARunIsDeadThirtySecondsAfterItsLastRenewalByTheStoresClock) {
    auto store = open();
    const RunId run = store->startRun("A");
    const std::uint64_t number = take(*store, run);
    ageLeases(url_, 29);
    EXPECT_TRUE(store->recover().empty());
    store->renewLease(run);  // thirty seconds again from now
    ageLeases(url_, 29);
    EXPECT_TRUE(store->recover().empty());
    EXPECT_EQ(store->status().liveRuns.size(), 1u);
    ageLeases(url_, 2);
    EXPECT_EQ(store->recover(), std::vector<std::uint64_t>{number});
    EXPECT_TRUE(store->status().liveRuns.empty());
    EXPECT_EQ(errorOf([&] { store->renewLease(run); }), Kind::leaseLost);
}

TEST_P(StoreContract, ALeaseLengthOfTheStoresOptions) {
    StoreOptions shortLease;
    shortLease.leaseSeconds = 5;
    auto store = open({1000, 1009, 1}, shortLease);
    const RunId run = store->startRun("A");
    take(*store, run);
    ageLeases(url_, 4);
    EXPECT_TRUE(store->recover().empty());
    ageLeases(url_, 2);
    EXPECT_EQ(store->recover().size(), 1u);
}

TEST_P(StoreContract, AUsedUpRangeIsATypedResultUntilANumberIsHandedBack) {
    auto store = open({1, 3, 1});
    const RunId run = store->startRun("A");
    for (std::uint64_t n = 1; n <= 3; ++n) EXPECT_EQ(take(*store, run), n);
    EXPECT_TRUE(std::holds_alternative<RangeUsedUp>(store->reserve(run, {"USB0", 4})));
    EXPECT_EQ(store->status().nextFree, std::nullopt);
    EXPECT_EQ(store->status().free, 0u);
    store->settleFreed(run, 2);
    EXPECT_EQ(store->status().nextFree, 2u);
    EXPECT_EQ(take(*store, run), 2u);
    EXPECT_TRUE(std::holds_alternative<RangeUsedUp>(store->reserve(run, {"USB0", 5})));
}

TEST_P(StoreContract, TheRangeIsKeptAndAnotherOneForTheJobIsRefused) {
    {
        auto store = open({100, 199, 1});
        take(*store, store->startRun("A"));
    }
    auto again = open({100, 199, 1});
    EXPECT_EQ(again->status().nextFree, 101u);
    auto store = openSerialStore(url_, "job");
    EXPECT_EQ(errorOf([&] { store->setupRange({100, 299, 1}); }), Kind::rangeMismatch);
    EXPECT_EQ(errorOf([&] { store->setupRange({100, 199, 2}); }), Kind::rangeMismatch);
    // Another job in the same store has its own range.
    auto otherJob = openSerialStore(url_, "other");
    otherJob->setupRange({1, 5, 1});
    EXPECT_EQ(take(*otherJob, otherJob->startRun("A")), 1u);
}

TEST_P(StoreContract, AStoreOfANewerSchemaIsRefused) {
    open();
    setSchemaVersion(url_, storeSchemaVersion + 1);
    try {
        openSerialStore(url_, "job");
        FAIL() << "opened";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.kind, Kind::schemaTooNew);
        EXPECT_NE(std::string(e.what()).find("newer than this program's"), std::string::npos) << e.what();
    }
    setSchemaVersion(url_, storeSchemaVersion);
    EXPECT_NO_THROW(open());
}

TEST_P(StoreContract, VoidByHandTakesNumbersNotInAUnitsHands) {
    auto store = open({10, 20, 2});
    const RunId run = store->startRun("A");
    const std::uint64_t programmed = take(*store, run), held = take(*store, run), freed = take(*store, run);
    store->settlePassed(run, programmed);
    store->settleFreed(run, freed);

    store->voidByHand(programmed, "label smeared");
    store->voidByHand(freed, "known bad");
    const auto records = store->list(SerialState::voided);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].reason, "label smeared");
    EXPECT_EQ(records[0].unit, 1);  // still names its unit
    EXPECT_EQ(records[1].reason, "known bad");

    EXPECT_EQ(errorOf([&] { store->voidByHand(held, "x"); }), Kind::badNumber);
    EXPECT_EQ(errorOf([&] { store->voidByHand(programmed, "x"); }), Kind::badNumber);
    EXPECT_EQ(errorOf([&] { store->voidByHand(20, "x"); }), Kind::badNumber);  // not handed out
    EXPECT_EQ(errorOf([&] { store->voidByHand(11, "x"); }), Kind::badNumber);  // off the step
    EXPECT_EQ(errorOf([&] { store->voidByHand(22, "x"); }), Kind::badNumber);  // beyond last
    // A number voided by hand is never handed out again.
    EXPECT_EQ(take(*store, run), 16u);
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreContract, ::testing::Values(Backend::sqlite, Backend::postgres),
                         backendParamName);
