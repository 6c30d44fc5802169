// Helpers of the text-set tests: the fields of a set in declaration order,
// the printf conversions of a text, and conversion between UTF-8 and code
// page 936 as the platform performs it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "texts/texts.h"

std::vector<const char*> fieldsOf(const Texts& texts);

// The conversions of a printf format in order, e.g. "d f" for "%d..%f";
// "%%" is no conversion.
std::string conversionsOf(const char* format);

// The slots {1}, {2}, ... of a desktop text, sorted, e.g. "1 2 " (a
// translation may put them in another order).
std::string slotsOf(const char* text);

// Each returns false when a character has no exact counterpart.
bool utf8ToGbk(std::string_view utf8, std::string& gbk);
bool gbkToUtf8(std::string_view gbk, std::string& utf8);
