// JSON strings for the audit log and the reports.
#pragma once

#include <string>

// A JSON string of any bytes: valid UTF-8 is kept, and each byte that is
// not part of a valid UTF-8 sequence is written as \u00XX (XX the byte).
std::string jsonString(const std::string& text);
