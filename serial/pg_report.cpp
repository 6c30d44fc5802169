#include "serial/record_queries.h"

namespace vmserial {

std::vector<ReportGroup> pgReport(PgConn&, const ReportQuery&) { return {}; }
std::vector<StationLine> pgLine(PgConn&, std::int64_t) { return {}; }

}  // namespace vmserial
