// Where every serial number's fate is kept: one interface over the stores
// (SQLite on one station, PostgreSQL for a line), so the station knows no
// SQL. A store object holds one connection and is bound to one job's range;
// its calls may come from several threads (they take turns). Every change
// is one transaction.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace vmserial {

// The schema this program writes; a store with a newer one is refused.
inline constexpr int storeSchemaVersion = 1;

enum class SerialState { free, reserved, programmed, voided };

// "free", "reserved", "programmed", "void".
std::string serialStateName(SerialState state);
std::optional<SerialState> parseSerialState(const std::string& name);

struct StoreError : std::runtime_error {
    enum class Kind {
        unreachable,    // no connection, or the store stayed busy: try again later
        badUrl,         // neither "sqlite:PATH" nor "postgresql://..."
        schemaTooNew,   // written by a newer program
        rangeMismatch,  // the job's range in the store is another one
        leaseLost,      // the run is no longer alive in the store
        notReserved,    // a settle of a number this run does not hold
        badNumber,      // a void by hand of a number that cannot be voided
        failed,         // anything else the database refused
    };
    StoreError(Kind kind, const std::string& what) : std::runtime_error(what), kind(kind) {}
    Kind kind;
};

struct SerialRange {
    std::uint64_t first = 0, last = 0, step = 1;  // last inclusive
};

using RunId = std::int64_t;

// Who reserves a number: the unit's programmer and its number within the run.
struct UnitRef {
    std::string programmer;
    std::int64_t unit = 0;
};

struct Reserved {
    std::uint64_t number = 0;
};
struct RangeUsedUp {};
using ReserveResult = std::variant<Reserved, RangeUsedUp>;

struct LiveRun {
    RunId id = 0;
    std::string station;
    std::string started, expires;  // UTC, ISO 8601
};

struct StoreStatus {
    std::uint64_t free = 0, reserved = 0, programmed = 0, voided = 0;
    std::optional<std::uint64_t> nextFree;  // nullopt: the range is used up
    std::vector<LiveRun> liveRuns;
};

// One number that has been handed out at least once (numbers never handed
// out are free and have no record).
struct SerialRecord {
    std::uint64_t number = 0;
    SerialState state = SerialState::free;
    std::optional<RunId> run;
    std::string station, programmer;
    std::optional<std::int64_t> unit;
    std::string time;    // of the last change, UTC, ISO 8601
    std::string reason;  // void: the failure, or the reason given
    std::string step;    // void after a failure: the step it failed in
};

// How long the store waits for anything, so that a hung store is noticed
// (and said) within seconds rather than holding the station.
struct StoreOptions {
    int leaseSeconds = 30;     // a run not renewed for this long is dead
    int busyTimeoutMs = 5000;  // SQLite: how long to wait for the file's lock
    int connectTimeoutSeconds = 5;
    // PostgreSQL: a statement's bound and a lock wait's, on the server; the
    // program waits a little longer for the answer, then drops the
    // connection (a stopped server or backend never answers).
    int statementTimeoutMs = 5000;
    // To read alone (reports, serials status and list): no schema is made
    // and every change is refused; a SQLite file where nothing can be
    // written (a read-only file system) is read as its main file holds it.
    bool readOnly = false;
};

// The reason recover() gives the numbers it voids for want of a record.
inline constexpr const char* runEndedReason = "the run ended during the unit";

// What a recovery did with a dead run's reserved numbers, lowest first. A
// number whose unit's record is in the store is settled as the record says
// (programmed when it passed, void with its failure when not); only a
// number without a record is voided with runEndedReason.
struct Recovered {
    std::vector<std::uint64_t> voided, programmed;
};

struct UnitRow;  // serial/unit_records.h

class SerialStore {
public:
    virtual ~SerialStore() = default;

    // Records the job's range, or checks that it is the one recorded
    // (rangeMismatch otherwise). Every call below needs it done once.
    virtual void setupRange(const SerialRange& range) = 0;

    // A run of a station: alive while its lease is renewed.
    virtual RunId startRun(const std::string& station) = 0;
    virtual void renewLease(RunId run) = 0;  // leaseLost once it has expired
    virtual void endRun(RunId run) = 0;      // no longer alive from now on

    // The lowest free number, reserved for the unit of a live run.
    virtual ReserveResult reserve(RunId run, const UnitRef& unit) = 0;
    // The settles keep the unit's record too, when one is given, in the
    // same transaction: the number's fate and the record agree. A number no
    // longer reserved by the run (a recovery took it after the run's lease
    // lapsed) is notReserved without a record of it; with one, the record is
    // kept and settles the number by the records' rule (serial/store_rules.h).
    // The unit passed: programmed.
    virtual void settlePassed(RunId run, std::uint64_t number, const UnitRow* record = nullptr) = 0;
    // It failed before its first data page was sent: free again.
    virtual void settleFreed(RunId run, std::uint64_t number, const UnitRow* record = nullptr) = 0;
    // It failed later: void, with the failure and the step.
    virtual void settleVoided(RunId run, std::uint64_t number, const std::string& failure,
                              const std::string& step, const UnitRow* record = nullptr) = 0;

    // Settles the numbers still reserved by runs that are no longer alive:
    // by their units' records where the store has them, void otherwise.
    virtual Recovered recover() = 0;
    // A number known to be spoiled: one handed out and not reserved.
    virtual void voidByHand(std::uint64_t number, const std::string& reason) = 0;

    virtual StoreStatus status() = 0;
    virtual std::vector<SerialRecord> list(std::optional<SerialState> only) = 0;
};

// Opens (and on first use creates) the store that the URL names for the job:
// "sqlite:PATH" or "postgresql://user@host:port/db" (any libpq URI).
std::unique_ptr<SerialStore> openSerialStore(const std::string& url, const std::string& job,
                                             const StoreOptions& options = {});

// A store's URL fit to show (messages, reports, pages, JSON): without the
// password of its user part, nor a query item whose key names a secret
// (password, sslpassword, pass%77ord, ...); serial/store_url.cpp has the rule.
std::string shownStoreUrl(const std::string& url);
// `text` (a message about the store) with `url` shown as above wherever it
// is named, and its secrets masked wherever a piece of it is quoted.
std::string withoutStoreSecrets(const std::string& text, const std::string& url);

// What the stores share of a range: how many numbers it has, the i-th.
std::uint64_t rangeCount(const SerialRange& range);
std::uint64_t rangeNumber(const SerialRange& range, std::uint64_t index);
// Why the store cannot keep the range (it keeps numbers as signed 64-bit
// integers); nullopt when it can.
std::optional<std::string> storableProblem(const SerialRange& range);

}  // namespace vmserial
