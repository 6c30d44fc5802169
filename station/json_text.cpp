#include "station/json_text.h"

#include <cmath>
#include <cstdint>

namespace {

// The length of the valid UTF-8 sequence that starts at `at`; 0 when the
// byte there starts none (a stray continuation byte, an overlong form, a
// surrogate, a cut sequence, beyond U+10FFFF).
std::size_t utf8Length(const std::string& text, std::size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    std::size_t length;
    std::uint32_t code;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07u;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) return 0;
        code = code << 6 | (next & 0x3Fu);
    }
    if ((length == 3 && code < 0x800) || (code >= 0xD800 && code <= 0xDFFF) ||
        (length == 4 && (code < 0x10000 || code > 0x10FFFF))) {
        return 0;
    }
    return length;
}

}  // namespace

std::string jsonText(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = utf8Length(bytes, at);
        if (length > 0) {
            out.append(bytes, at, length);
            at += length;
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(bytes[at++]);
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

namespace {

void makeTexts(Json& value) {
    if (value.is_string()) {
        std::string& text = value.get_ref<std::string&>();
        text = jsonText(text);
    } else if (value.is_structured()) {
        for (Json& item : value) makeTexts(item);
    }
}

}  // namespace

std::string jsonLine(Json value) {
    makeTexts(value);
    return value.dump(-1, ' ', false);
}

double roundedTo(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}
