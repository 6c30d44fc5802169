#include "serial/record_queries.h"

namespace vmserial {

std::vector<ReportGroup> sqliteReport(SqliteDb&, const ReportQuery&) { return {}; }
std::vector<StationLine> sqliteLine(SqliteDb&, std::int64_t) { return {}; }

}  // namespace vmserial
