// The serial store on a PostgreSQL server that a line of stations shares.
// Reservations take a free number's row with FOR UPDATE SKIP LOCKED, so no
// station waits for another's unit; the schema is made and versioned on
// first use under an advisory lock.
#pragma once

#include <memory>
#include <string>

#include "serial/serial_store.h"

namespace vmserial {

std::unique_ptr<SerialStore> openPgStore(const std::string& url, const std::string& job,
                                         const StoreOptions& options);

}  // namespace vmserial
