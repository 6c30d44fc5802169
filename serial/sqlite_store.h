// The serial store in one SQLite file, shared by the station processes of
// one machine (WAL, synchronous=FULL, BEGIN IMMEDIATE, a busy timeout).
#pragma once

#include <memory>
#include <string>

#include "serial/serial_store.h"

namespace vmserial {

std::unique_ptr<SerialStore> openSqliteStore(const std::string& path, const std::string& job,
                                             const StoreOptions& options);

}  // namespace vmserial
