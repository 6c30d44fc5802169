#include "serial/serial_store.h"

#include <limits>

#include "serial/pg_store.h"
#include "serial/sqlite_store.h"
#include "serial/store_internals.h"
#include "serial/unit_records.h"

namespace vmserial {

std::string serialStateName(SerialState state) {
    switch (state) {
    case SerialState::free: return "free";
    case SerialState::reserved: return "reserved";
    case SerialState::programmed: return "programmed";
    case SerialState::voided: return "void";
    }
    return "?";
}

std::optional<SerialState> parseSerialState(const std::string& name) {
    for (SerialState s : {SerialState::free, SerialState::reserved, SerialState::programmed,
                          SerialState::voided})
        if (serialStateName(s) == name) return s;
    return std::nullopt;
}

std::unique_ptr<SerialStore> openSerialStore(const std::string& url, const std::string& job,
                                             const StoreOptions& options) {
    const std::string sqlite = "sqlite:";
    if (url.starts_with(sqlite) && url.size() > sqlite.size())
        return openSqliteStore(url.substr(sqlite.size()), job, options);
    if (url.starts_with("postgresql://") || url.starts_with("postgres://"))
        return openPgStore(url, job, options);
    throw StoreError(StoreError::Kind::badUrl,
                     "serial store \"" + shownStoreUrl(url) + "\" is neither sqlite:PATH nor postgresql://...");
}

std::unique_ptr<RecordStore> openRecordStore(const std::string& url, const StoreOptions& options) {
    const std::string sqlite = "sqlite:";
    if (url.starts_with(sqlite) && url.size() > sqlite.size())
        return openSqliteRecordStore(url.substr(sqlite.size()), options);
    if (url.starts_with("postgresql://") || url.starts_with("postgres://")) return openPgRecordStore(url, options);
    throw StoreError(StoreError::Kind::badUrl, "store \"" + shownStoreUrl(url) + "\" is neither sqlite:PATH nor postgresql://...");
}

std::uint64_t rangeCount(const SerialRange& range) {
    return (range.last - range.first) / range.step + 1;
}

std::uint64_t rangeNumber(const SerialRange& range, std::uint64_t index) {
    return range.first + index * range.step;
}

std::optional<std::string> storableProblem(const SerialRange& range) {
    constexpr auto most = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (range.step == 0) return std::string("step must be at least 1");
    if (range.first > range.last) return std::string("first is above last");
    if (range.last > most || range.step > most)
        return "the store keeps numbers up to " + std::to_string(most);
    return std::nullopt;
}

}  // namespace vmserial
