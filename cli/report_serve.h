// `vm612k report --serve`: the line's live page. Serves / (the page) and
// /api/line (every station writing to the store, with its last unit and
// its day: cli/report_line.h) until SIGINT or SIGTERM. The store is read
// at most once a second, whoever asks; a store that can't be reached is a
// 503 with its reason, and the server goes on.
#pragma once

#include <string>

// Exit status: 0 after a stop signal; 2 when the address is none or can't
// be had.
int serveLine(const std::string& storeUrl, const std::string& address);
