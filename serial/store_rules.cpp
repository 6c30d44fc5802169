#include "serial/store_rules.h"

namespace vmserial {
namespace {

// The failed steps of a unit that failed before its first data page: the
// flash was refused, or the worker failed in (or before) its erase.
bool failedBeforeData(const std::string& failedStep) {
    for (const char* step : {"setflash", "erase", "refused", "no-memory", "failed"})
        if (failedStep == step) return true;
    return false;
}

NumberFate failedFate(const UnitRow& record) {
    return {SerialState::voided, record.failure.empty() ? record.failedStep : record.failure, record.failedStep};
}

std::string rangeText(const SerialRange& r) {
    return std::to_string(r.first) + ".." + std::to_string(r.last) + " step " + std::to_string(r.step);
}

}  // namespace

void throwRangeMismatch(const std::string& job, const SerialRange& stored, const SerialRange& asked) {
    throw StoreError(StoreError::Kind::rangeMismatch,
                     "the serial store holds job \"" + job + "\" with the range " + rangeText(stored) +
                         ", not " + rangeText(asked));
}

void throwSchemaTooNew(const std::string& where, int version) {
    throw StoreError(StoreError::Kind::schemaTooNew,
                     "serial store " + shownStoreUrl(where) + " has schema version " + std::to_string(version) +
                         ", newer than this program's " + std::to_string(storeSchemaVersion) +
                         ": use a newer program");
}

void throwNoSchema(const std::string& where) {
    throw StoreError(StoreError::Kind::failed,
                     "serial store " + shownStoreUrl(where) + " holds no store's tables: nothing was recorded there");
}

void throwLeaseLost(RunId run) {
    throw StoreError(StoreError::Kind::leaseLost,
                     "run " + std::to_string(run) + " is no longer alive in the serial store");
}

void throwNotReserved(RunId run, std::uint64_t number) {
    throw StoreError(StoreError::Kind::notReserved, "serial number " + std::to_string(number) +
                                                        " is not reserved by run " + std::to_string(run));
}

void throwNoRange() {
    throw StoreError(StoreError::Kind::failed, "the serial store's range has not been set up");
}

void checkInRange(const SerialRange& range, std::uint64_t number) {
    if (number < range.first || number > range.last || (number - range.first) % range.step != 0)
        throw StoreError(StoreError::Kind::badNumber,
                         "serial number " + std::to_string(number) + " is not in the range " +
                             std::to_string(range.first) + ".." + std::to_string(range.last) + " step " +
                             std::to_string(range.step));
}

void checkVoidable(std::uint64_t number, std::optional<SerialState> state) {
    const std::string n = "serial number " + std::to_string(number);
    if (!state) throw StoreError(StoreError::Kind::badNumber, n + " has not been handed out");
    if (*state == SerialState::reserved)
        throw StoreError(StoreError::Kind::badNumber,
                         n + " is reserved by a unit; a dead run's numbers are voided by recover");
    if (*state == SerialState::voided) throw StoreError(StoreError::Kind::badNumber, n + " is void already");
}

SerialState stateFromStore(const std::string& name) {
    if (auto state = parseSerialState(name)) return *state;
    throw StoreError(StoreError::Kind::failed, "the serial store holds an unknown state \"" + name + "\"");
}

std::optional<NumberFate> fateByRecord(const HeldNumber& number, const UnitRow& record) {
    if (number.station != record.station || number.programmer != record.programmer || number.unit != record.unit)
        return std::nullopt;
    if (number.state == SerialState::reserved) {
        if (record.passed) return NumberFate{SerialState::programmed, std::nullopt, std::nullopt};
        if (failedBeforeData(record.failedStep)) return NumberFate{SerialState::free, std::nullopt, std::nullopt};
        return failedFate(record);
    }
    if (number.state == SerialState::voided && number.reason == runEndedReason) {
        if (record.passed) return NumberFate{SerialState::programmed, std::nullopt, std::nullopt};
        return failedFate(record);
    }
    return std::nullopt;
}

NumberFate fateOnRecovery(const HeldNumber& number, const std::optional<UnitRow>& record) {
    const NumberFate none{SerialState::voided, std::string(runEndedReason), std::nullopt};
    if (!record) return none;
    const std::optional<NumberFate> fate = fateByRecord(number, *record);
    if (!fate || fate->state == SerialState::free) return none;
    return *fate;
}

}  // namespace vmserial
