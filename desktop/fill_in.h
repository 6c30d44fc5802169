// The desktop program's catalogue texts with their slots {1}, {2}, ...
// filled in, in one pass: a value that holds a slot itself (a path with
// "{2}" in it) stays as it is.
#pragma once

#include <QString>

#include <initializer_list>

QString fillIn(const char* text, std::initializer_list<QString> values = {});
