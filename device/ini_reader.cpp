#include "device/ini_reader.h"

#include <exception>
#include <fstream>
#include <iterator>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

IniFile IniFile::load(const std::string& path) {
    std::string text;
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) return IniFile{};
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
        // A name that opens but cannot be read (a folder on Linux) reads as
        // no file, as a missing one does.
        return IniFile{};
    }
    return parse(text);
}

IniFile IniFile::parse(std::string_view text) {
    IniFile file;
    std::string section;
    bool inSection = false;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);

        line = trim(line);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            std::size_t close = line.find(']');
            if (close == std::string_view::npos) continue;
            section.assign(trim(line.substr(1, close - 1)));
            inSection = true;
            continue;
        }
        std::size_t eq = line.find('=');
        if (!inSection || eq == std::string_view::npos) continue;
        std::string_view value = trim(line.substr(eq + 1));
        if (value.size() > kIniValueMax) value = value.substr(0, kIniValueMax);
        file.entries_.push_back({section, std::string(trim(line.substr(0, eq))), std::string(value)});
    }
    return file;
}

std::string IniFile::get(std::string_view section, std::string_view key,
                         std::string_view fallback) const {
    for (const Entry& e : entries_) {
        if (sameName(e.section, section) && sameName(e.key, key)) return e.value;
    }
    return std::string(fallback);
}
