// Which store a URL names, whatever way it is written: what a station's
// spool of records is marked with, so that its records go to their own
// store and no other.
#pragma once

#include <string>

namespace vmserial {

// "sqlite:" and the file's absolute path, or "postgresql://USER@HOST:PORT/DB"
// of a PostgreSQL URL (no password, no options: they do not change the
// store); any other text as it is.
std::string storeKey(const std::string& url);

}  // namespace vmserial
