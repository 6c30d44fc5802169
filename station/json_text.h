// The JSON the station and the front ends write (the audit log, the spool,
// --json, the live views): nlohmann-json objects that keep their keys in the
// order they were set, written one to a line.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

using Json = nlohmann::ordered_json;

// Text as JSON takes it: valid UTF-8 is kept, and each byte that is not part
// of a valid UTF-8 sequence stands for the Latin-1 character of its value
// (U+0080..U+00FF, written as UTF-8), so that a name in another encoding
// keeps its bytes' information.
std::string jsonText(const std::string& bytes);

// `value` on one line: no indent, no line end, every text in it as jsonText
// makes it, the rest of UTF-8 as it is.
std::string jsonLine(Json value);

// `value` rounded to `decimals` places, as the JSON keeps it: a time in
// seconds to 3, a yield to 4, units per hour to 1.
double roundedTo(double value, int decimals);
