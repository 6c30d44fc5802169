// Text from a store or a user (station names, reasons, failures) as the
// plain outputs show it: one line that keeps its table's columns. Control
// characters are written as C escapes (\t, \n, \r; \xHH for the others and
// DEL, \u0080..\u009F for the C1 controls); every other byte is kept. The
// JSON outputs give the text exactly instead.
#pragma once

#include <string>

std::string shownText(const std::string& text);
