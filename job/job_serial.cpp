#include "job/job_serial.h"

#include <filesystem>

#include "serial/serial_store.h"

namespace vmjob {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSqlite = "sqlite:";

bool isPostgresUrl(const std::string& url) {
    return url.starts_with("postgresql://") || url.starts_with("postgres://");
}

}  // namespace

std::optional<std::string> storeUrlProblem(const std::string& url) {
    if ((url.starts_with(kSqlite) && url.size() > kSqlite.size()) || isPostgresUrl(url)) return std::nullopt;
    return "must be sqlite:PATH or postgresql://USER@HOST:PORT/DB, not '" + vmserial::shownStoreUrl(url) + "'";
}

std::optional<Problem> serialRangeProblem(const JobSpec& spec, const std::string& fileName) {
    if (!spec.serial) return std::nullopt;
    const vmserial::SerialSettings& settings = *spec.serial;
    const SerialLines& at = spec.serialLines;
    const std::optional<std::string> problem = vmserial::rangeProblem(settings);
    if (!problem) return std::nullopt;
    // The key at fault: the width when even the range 0..0 does not fit
    // (a width missing, too large, or not the format's own); then the
    // range's ends. A step below 1 never reads. TOML's integers are signed
    // 64-bit, so every range read is one the stores keep.
    vmserial::SerialSettings widthOnly = settings;
    widthOnly.first = widthOnly.last = 0;
    widthOnly.step = 1;
    const auto named = [&](const char* key, unsigned line) {
        return Problem{fileName, line != 0 ? line : at.table, std::string("serial.") + key, *problem};
    };
    if (vmserial::rangeProblem(widthOnly)) return named("width", at.width);
    if (settings.first > settings.last) return named("first", at.first);
    return named("last", at.last);
}

std::optional<Problem> serialPlacementProblem(const JobSpec& spec, const std::string& fileName,
                                              std::uint64_t imageSize) {
    if (!spec.serial) return std::nullopt;
    const std::optional<std::string> problem = vmserial::placementProblem(*spec.serial, imageSize);
    if (!problem) return std::nullopt;
    return Problem{fileName, spec.serialLines.offset, "serial.offset", *problem};
}

std::string serialStoreUrl(const JobSpec& spec, const std::string& jobPath) {
    std::error_code code;
    fs::path folder = fs::absolute(jobPath, code).parent_path();
    if (code) folder = fs::path(jobPath).parent_path();
    const std::string& store = spec.serial ? spec.serial->store : std::string();
    if (isPostgresUrl(store)) return store;
    fs::path file = store.empty() ? fs::path(spec.name + ".serials.db") : fs::path(store.substr(kSqlite.size()));
    if (file.is_relative()) file = folder / file;
    return std::string(kSqlite) + file.lexically_normal().string();
}

}  // namespace vmjob
