// The store contract, the same cases on SQLite and on PostgreSQL: the order
// of reservations, the settles, the recovery of dead runs by the store's
// clock, a used-up range, the schema version, and the void by hand.
#include <gtest/gtest.h>

#include "serial/unit_records.h"
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

// The record of unit `unit` on programmer "USB0" of station "A" that held
// `serial`: passed, or failed in `step`.
UnitRow unitRecord(std::int64_t unit, std::uint64_t serial, const std::string& step = "") {
    UnitRow row;
    row.run = "r1";
    row.unit = unit;
    row.station = "A";
    row.programmer = "USB0";
    row.job = "job";
    row.passed = step.empty();
    row.failedStep = step;
    row.failure = step.empty() ? "" : step + " error";
    row.serial = serial;
    row.time = "2026-12-08T17:05:09.123Z";
    row.record = "{}";
    return row;
}

SerialState stateOf(SerialStore& store, std::uint64_t number) { return find(store.list(std::nullopt), number)->state; }

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

    EXPECT_EQ(station2->recover().voided, (std::vector<std::uint64_t>{c, d}));
    const auto records = station2->list(std::nullopt);
    EXPECT_EQ(find(records, c)->state, SerialState::voided);
    EXPECT_EQ(find(records, c)->reason, runEndedReason);
    EXPECT_EQ(find(records, c)->station, "killed");
    EXPECT_EQ(find(records, a)->state, SerialState::programmed);
    EXPECT_EQ(find(records, b)->state, SerialState::reserved);
    EXPECT_TRUE(station2->recover().voided.empty());

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
    EXPECT_TRUE(store->recover().voided.empty());
    store->renewLease(run);  // thirty seconds again from now
    ageLeases(url_, 29);
    EXPECT_TRUE(store->recover().voided.empty());
    EXPECT_EQ(store->status().liveRuns.size(), 1u);
    ageLeases(url_, 2);
    EXPECT_EQ(store->recover().voided, std::vector<std::uint64_t>{number});
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
    EXPECT_TRUE(store->recover().voided.empty());
    ageLeases(url_, 2);
    EXPECT_EQ(store->recover().voided.size(), 1u);
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

// A record that reaches the store through the spool settles the number its
// unit still holds, and undoes a recovery's void of a number its module
// holds; a record that is not the number's unit's, or one kept already,
// changes nothing.
TEST_P(StoreContract, AUnitsRecordSettlesItsNumber) {
    auto store = open();
    auto records = openRecordStore(url_);
    const RunId run = store->startRun("A");
    std::vector<std::uint64_t> n;
    for (std::int64_t unit = 1; unit <= 6; ++unit) n.push_back(take(*store, run, "USB0", unit));
    records->putRecords({unitRecord(1, n[0]), unitRecord(2, n[1], "erase"), unitRecord(3, n[2], "verify"),
                         unitRecord(9, n[3])});
    EXPECT_EQ(stateOf(*store, n[0]), SerialState::programmed);
    EXPECT_EQ(stateOf(*store, n[1]), SerialState::free);  // failed before its first data page
    const std::vector<SerialRecord> listed = store->list(std::nullopt);
    const SerialRecord* v = find(listed, n[2]);
    EXPECT_EQ(v->state, SerialState::voided);
    EXPECT_EQ(v->reason, "verify error");
    EXPECT_EQ(v->step, "verify");
    EXPECT_EQ(stateOf(*store, n[3]), SerialState::reserved);  // unit 9 never held it

    // The run dies; a recovery voids what has no record. Then the records
    // come: the passed unit's module holds its number.
    store->endRun(run);
    EXPECT_EQ(store->recover().voided, (std::vector<std::uint64_t>{n[3], n[4], n[5]}));
    records->putRecords({unitRecord(4, n[3]), unitRecord(5, n[4], "program")});
    EXPECT_EQ(stateOf(*store, n[3]), SerialState::programmed);
    EXPECT_EQ(find(store->list(std::nullopt), n[4])->reason, "program error");
    // The run's own late settle with its record does the same.
    const UnitRow last = unitRecord(6, n[5]);
    EXPECT_NO_THROW(store->settlePassed(run, n[5], &last));
    EXPECT_EQ(stateOf(*store, n[5]), SerialState::programmed);
    EXPECT_EQ(errorOf([&] { store->settlePassed(run, n[5]); }), Kind::notReserved);

    // A number voided by hand stays void when its record comes again.
    store->voidByHand(n[0], "label smeared");
    EXPECT_EQ(records->putRecords({unitRecord(1, n[0])}), 0u);
    EXPECT_EQ(stateOf(*store, n[0]), SerialState::voided);
    EXPECT_EQ(store->status().reserved, 0u);
}

// A recovery reads the records the store holds first: a passed unit's
// number is programmed, a failed one's void with its failure; only a number
// without a record (or with a record of a failure before any data page,
// which could be an earlier unit's) is voided as the run's end.
TEST_P(StoreContract, RecoverySettlesByTheUnitsRecords) {
    auto store = open();
    const RunId run = store->startRun("A");
    std::vector<std::uint64_t> n;
    for (std::int64_t unit = 1; unit <= 4; ++unit) n.push_back(take(*store, run, "USB0", unit));
    keepRecordsBehindTheStore(url_, {unitRecord(1, n[0]), unitRecord(2, n[1], "verify"), unitRecord(3, n[2], "erase")});
    store->endRun(run);
    const Recovered recovered = store->recover();
    EXPECT_EQ(recovered.programmed, std::vector<std::uint64_t>{n[0]});
    EXPECT_EQ(recovered.voided, (std::vector<std::uint64_t>{n[1], n[2], n[3]}));
    const auto list = store->list(std::nullopt);
    EXPECT_EQ(find(list, n[0])->state, SerialState::programmed);
    EXPECT_EQ(find(list, n[1])->reason, "verify error");
    EXPECT_EQ(find(list, n[2])->reason, runEndedReason);
    EXPECT_EQ(find(list, n[3])->reason, runEndedReason);
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreContract, ::testing::Values(Backend::sqlite, Backend::postgres),
                         backendParamName);
