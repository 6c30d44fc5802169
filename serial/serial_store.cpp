#include "serial/serial_store.h"

#include <algorithm>
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
                     "serial store \"" + url + "\" is neither sqlite:PATH nor postgresql://...");
}

std::unique_ptr<RecordStore> openRecordStore(const std::string& url, const StoreOptions& options) {
    const std::string sqlite = "sqlite:";
    if (url.starts_with(sqlite) && url.size() > sqlite.size())
        return openSqliteRecordStore(url.substr(sqlite.size()), options);
    if (url.starts_with("postgresql://") || url.starts_with("postgres://")) return openPgRecordStore(url, options);
    throw StoreError(StoreError::Kind::badUrl, "store \"" + url + "\" is neither sqlite:PATH nor postgresql://...");
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

std::string shownStoreUrl(const std::string& url) {
    std::size_t scheme = url.find("://");
    if (!(url.starts_with("postgresql://") || url.starts_with("postgres://"))) return url;
    scheme += 3;
    const std::size_t authorityEnd = std::min(url.find_first_of("/?", scheme), url.size());
    std::string shown = url.substr(0, scheme);
    const std::size_t at = url.rfind('@', authorityEnd);
    if (at != std::string::npos && at >= scheme) {
        const std::size_t colon = url.find(':', scheme);
        shown += url.substr(scheme, (colon < at ? colon : at) - scheme) + url.substr(at, authorityEnd - at);
    } else {
        shown += url.substr(scheme, authorityEnd - scheme);
    }
    const std::size_t query = url.find('?', authorityEnd);
    shown += url.substr(authorityEnd, std::min(query, url.size()) - authorityEnd);
    if (query == std::string::npos) return shown;
    std::string kept;
    for (std::size_t start = query + 1; start <= url.size();) {
        const std::size_t end = std::min(url.find('&', start), url.size());
        const std::string item = url.substr(start, end - start);
        if (!item.empty() && !item.starts_with("password="))
            kept += (kept.empty() ? "?" : "&") + item;
        start = end + 1;
    }
    return shown + kept;
}

}  // namespace vmserial
