// Where the store contract tests keep their stores: a SQLite file in the
// binary's scratch folder, or a database of its own on the binary's
// PostgreSQL server (started on first use, stopped when the tests end).
// Also what the tests do to a store behind its back: age its leases, write a
// schema version.
#pragma once

#include <string>
#include <vector>

#include "serial/unit_records.h"

namespace serialtest {

enum class Backend { sqlite, postgres };

std::string backendName(Backend backend);

// A fresh, empty store for the test case `name` (letters, digits, '_').
std::string freshStoreUrl(Backend backend, const std::string& name);

// Moves every run's last renewal `seconds` back in time.
void ageLeases(const std::string& url, int seconds);

// Writes units' records into the store as an older program did: without
// touching the numbers they name.
void keepRecordsBehindTheStore(const std::string& url, const std::vector<vmserial::UnitRow>& rows);

// Writes the recorded schema version.
void setSchemaVersion(const std::string& url, int version);

// The binary's PostgreSQL server's URL for `database` (starting the server).
std::string postgresUrl(const std::string& database);

// The binary's PostgreSQL server goes away and comes back (same port, same
// data), as a line's server does when it is restarted.
void pauseServer();
void resumeServer();

}  // namespace serialtest
