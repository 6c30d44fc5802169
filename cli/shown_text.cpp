#include "cli/shown_text.h"

#include <cstdio>

std::string shownText(const std::string& text) {
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
        char escaped[8];
        if (c == '\t') {
            shown += "\\t";
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c < 0x20 || c == 0x7f) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            shown += escaped;
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {  // U+0080..U+009F in UTF-8
            std::snprintf(escaped, sizeof escaped, "\\u%04X", next);
            shown += escaped;
            ++i;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}
