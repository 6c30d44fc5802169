// The line's records on both stores: a record is kept once by its run and
// unit however often it is sent, and a settle that keeps a record keeps it
// only when the number's change is made too.
#include <gtest/gtest.h>

#include <fstream>

#include "serial/unit_records.h"
#include "store_contract_support.h"

using namespace vmserial;
using namespace serialtest;
using Kind = StoreError::Kind;

namespace {

UnitRow row(const std::string& run, std::int64_t unit, bool passed) {
    UnitRow r;
    r.run = run;
    r.unit = unit;
    r.station = "station-A";
    r.programmer = "0";
    r.passed = passed;
    r.failedStep = passed ? "" : "verify";
    r.failure = passed ? "" : "content";
    r.seconds = 2.5;
    r.endedMs = 1796749509123 + unit;
    r.time = "2026-12-08T17:05:09.123Z";
    r.record = "{\"run\":\"" + run + "\",\"unit\":" + std::to_string(unit) + "}";
    return r;
}

}  // namespace

TEST_P(StoreContract, ARecordSentAgainIsKeptOnce) {
    auto records = openRecordStore(url_);
    EXPECT_EQ(records->putRecords({row("r1", 1, true), row("r1", 2, false)}), 2u);
    // A spool sent again after its first sending did reach the store, and a
    // unit number of another run: only the latter is new.
    EXPECT_EQ(records->putRecords({row("r1", 2, false), row("r1", 1, true), row("r2", 1, true)}), 1u);
    EXPECT_EQ(records->recordCount(), 3u);
    // Another connection sees the same.
    EXPECT_EQ(openRecordStore(url_)->recordCount(), 3u);
}

TEST_P(StoreContract, ASettleKeepsItsUnitsRecordInTheSameTransaction) {
    auto store = open();
    auto records = openRecordStore(url_);
    const RunId run = store->startRun("station-A");
    const std::uint64_t passed = take(*store, run), freed = take(*store, run), voided = take(*store, run);
    UnitRow a = row("r1", 1, true), b = row("r1", 2, false), c = row("r1", 3, false);
    a.serial = passed;
    c.serial = voided;
    store->settlePassed(run, passed, &a);
    store->settleFreed(run, freed, &b);
    store->settleVoided(run, voided, "content", "verify", &c);
    EXPECT_EQ(records->recordCount(), 3u);

    // A settle the store refuses (the number is no longer this run's to
    // settle) leaves no record behind.
    EXPECT_EQ(errorOf([&] {
                  const UnitRow d = row("r1", 4, true);
                  store->settlePassed(run, passed, &d);
              }),
              Kind::notReserved);
    EXPECT_EQ(records->recordCount(), 3u);
    // The record of a settle that did reach the store, sent again from a
    // spool, is not counted twice.
    EXPECT_EQ(records->putRecords({a, b, c}), 0u);
}

TEST_P(StoreContract, ARecordStoreOfAnUnknownKindIsRefused) {
    EXPECT_EQ(errorOf([] { openRecordStore("mysql://host/db"); }), Kind::badUrl);
}

// Reports and serials status and list read a store they may not change: a
// range not recorded yet is all free and stays unrecorded, and every change
// is refused.
TEST_P(StoreContract, AStoreOpenedToReadReadsAndChangesNothing) {
    StoreOptions reading;
    reading.readOnly = true;
    if (url_.starts_with("sqlite:")) std::ofstream(url_.substr(7)).flush();  // empty: no store's tables
    EXPECT_EQ(errorOf([&] { openRecordStore(url_, reading); }), Kind::failed);
    EXPECT_EQ(errorOf([&] { openSerialStore(url_, "job", reading); }), Kind::failed);
    openRecordStore(url_)->putRecords({row("r1", 1, true)});
    {
        auto writer = open({10, 19, 1});
        const RunId run = writer->startRun("A");
        writer->settlePassed(run, take(*writer, run));
        writer->endRun(run);
    }
    auto reader = openSerialStore(url_, "job", reading);
    reader->setupRange({10, 19, 1});
    EXPECT_EQ(reader->status().programmed, 1u);
    EXPECT_EQ(reader->status().nextFree, 11u);
    EXPECT_EQ(errorOf([&] { reader->voidByHand(10, "spoiled"); }), Kind::failed);
    EXPECT_EQ(errorOf([&] { reader->startRun("B"); }), Kind::failed);
    EXPECT_EQ(reader->list(std::nullopt).at(0).state, SerialState::programmed);
    auto fresh = openSerialStore(url_, "other", reading);
    fresh->setupRange({1, 5, 1});
    EXPECT_EQ(fresh->status().free, 5u);
    EXPECT_EQ(fresh->status().nextFree, 1u);
    EXPECT_NO_THROW(openSerialStore(url_, "other")->setupRange({1, 9, 1}));  // the reader recorded none
    auto records = openRecordStore(url_, reading);
    EXPECT_EQ(records->recordCount(), 1u);
    EXPECT_EQ(errorOf([&] { records->putRecords({row("r1", 2, true)}); }), Kind::failed);
}

// Messages, reports and pages show a store without its password, wherever
// the URL carries one and however it is written.
TEST(StoreUrls, AreShownWithoutTheirPassword) {
    EXPECT_EQ(shownStoreUrl("postgresql://line:s3cret@db:5432/line"), "postgresql://line@db:5432/line");
    EXPECT_EQ(shownStoreUrl("postgres://line:s3cret@db/line?sslmode=require&password=x&connect_timeout=3"),
              "postgres://line@db/line?sslmode=require&connect_timeout=3");
    EXPECT_EQ(shownStoreUrl("postgresql://db/line?password=x"), "postgresql://db/line");
    EXPECT_EQ(shownStoreUrl("postgresql://db/line?sslpassword=x&pass%77ord=y&PASSWORD=z&oauth_client_secret=w&user=u"),
              "postgresql://db/line?user=u");
    EXPECT_EQ(shownStoreUrl("postgresql://u:pa/ss@db/line"), "postgresql://u@db/line");
    EXPECT_EQ(shownStoreUrl("postgresql://u:pa?ss@db/line"), "postgresql://u@db/line");
    EXPECT_EQ(shownStoreUrl("mysql://u:pw@db/line"), "mysql://u@db/line");
    EXPECT_EQ(shownStoreUrl("host=db password=x"), "host=db ...");
    EXPECT_EQ(shownStoreUrl("sqlite:/var/lib/line/records.db"), "sqlite:/var/lib/line/records.db");
    // libpq quotes the token it cannot read: the password, as written.
    const std::string url = "postgresql://u:p%zz@db/line?sslpassword=k%2";
    EXPECT_EQ(withoutStoreSecrets("serial store " + url + ": invalid percent-encoded token: \"p%zz\" or \"k%2\"", url),
              "serial store postgresql://u@db/line: invalid percent-encoded token: \"***\" or \"***\"");
    EXPECT_EQ(withoutStoreSecrets("a * b", "postgresql://u:*@db/line"), "a *** b");
}
