#include "sim/config.h"

#include <array>
#include <cctype>
#include <charconv>
#include <set>

namespace vmsim {

namespace {

constexpr std::array<std::string_view, 10> kSizeLabels{
    "256kbit", "512kbit", "1mbit", "2mbit", "4mbit", "8mbit", "16mbit", "32mbit", "64mbit", "128mbit"};

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Plain decimal digits only: no sign, no blanks, no overflow.
bool parseNumber(std::string_view text, std::uint32_t* value) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return error == std::errc() && end == text.data() + text.size();
}

bool parseSize(std::string_view text, std::uint32_t* bytes) {
    const std::string name = lower(text);
    for (std::size_t i = 0; i < kSizeLabels.size(); ++i) {
        if (name == kSizeLabels[i]) {
            *bytes = 32768u << i;
            return true;
        }
    }
    std::uint32_t count = 0;
    if (!parseNumber(text, &count)) return false;
    for (std::size_t i = 0; i < kSizeLabels.size(); ++i) {
        if (count == (32768u << i)) {
            *bytes = count;
            return true;
        }
    }
    return false;
}

bool parseFlag(std::string_view text, bool* flag) {
    if (text != "0" && text != "1") return false;
    *flag = text == "1";
    return true;
}

bool parseRange(std::string_view text, std::uint32_t low, std::uint32_t high, std::uint32_t* value) {
    std::uint32_t number = 0;
    if (!parseNumber(text, &number) || number < low || number > high) return false;
    *value = number;
    return true;
}

// A page number from 1 up, or "never" (stored as 0).
bool parsePage(std::string_view text, std::uint32_t* page) {
    if (lower(text) == "never") {
        *page = 0;
        return true;
    }
    return parseRange(text, 1, 0xFFFFFFFFu, page);
}

bool parseTiming(std::string_view text, SimTimingModel* model) {
    const std::string name = lower(text);
    if (name == "none") *model = SimTimingModel::none;
    else if (name == "datasheet") *model = SimTimingModel::datasheet;
    else return false;
    return true;
}

bool parseErase(std::string_view text, SimEraseMode* mode) {
    const std::string name = lower(text);
    if (name == "ok") *mode = SimEraseMode::ok;
    else if (name == "fail") *mode = SimEraseMode::fail;
    else if (name == "stuck") *mode = SimEraseMode::stuck;
    else return false;
    return true;
}

// What each key accepts, for the error text.
std::string_view expectation(std::string_view key) {
    if (key == "size") return "a flash size from 256Kbit to 128Mbit, or its byte count 32768 to 16777216";
    if (key == "file") return "a file path";
    if (key == "programmers") return "a number from 0 to 16";
    if (key == "others") return "a number from 0 to 64";
    if (key == "protect" || key == "miso") return "0 or 1";
    if (key == "erase") return "ok, fail or stuck";
    if (key == "erase_ms") return "milliseconds from 0 to 600000";
    if (key == "timing") return "none or datasheet";
    if (key == "unplug" || key == "badsum") return "a page number from 1 up, or never";
    if (key == "latency_us") return "microseconds from 0 to 1000000";
    if (key == "module") return "0 or 1";
    if (key == "swap_ms" || key == "pull_ms") return "milliseconds from 0 to 600000";
    if (key == "control") return "a file path";
    if (key == "modules") return "a folder path";
    return "";
}

// The keys that describe one programmer's faults and module: they take @I.
bool isProgrammerKey(std::string_view key) {
    return key == "protect" || key == "miso" || key == "erase" || key == "erase_ms" ||
           key == "timing" || key == "unplug" || key == "badsum" || key == "module" ||
           key == "swap_ms" || key == "pull_ms";
}

bool applyProgrammerItem(std::string_view key, std::string_view value, SimProgrammerOptions& p) {
    if (key == "protect") return parseFlag(value, &p.protect);
    if (key == "miso") return parseFlag(value, &p.misoHigh);
    if (key == "erase") return parseErase(value, &p.erase);
    if (key == "erase_ms") {
        p.eraseMsSet = true;
        return parseRange(value, 0, 600000, &p.eraseMs);
    }
    if (key == "timing") return parseTiming(value, &p.timing);
    if (key == "unplug") return parsePage(value, &p.unplugAfterPages);
    if (key == "badsum") return parsePage(value, &p.badsumPage);
    if (key == "module") return parseFlag(value, &p.module);
    if (key == "swap_ms") return parseRange(value, 0, 600000, &p.swapMs);
    if (key == "pull_ms") return parseRange(value, 0, 600000, &p.pullMs);
    return false;
}

bool applyItem(std::string_view key, std::string_view value, SimConfig* config) {
    SimProgrammerOptions& p = config->programmer;
    if (isProgrammerKey(key)) return applyProgrammerItem(key, value, p);
    if (key == "size") return parseSize(value, &p.capacity);
    if (key == "file") {
        p.file = std::string(value);
        return !value.empty();
    }
    if (key == "programmers") return parseRange(value, 0, 16, &config->programmers);
    if (key == "others") return parseRange(value, 0, 64, &config->others);
    if (key == "control") {
        config->control = std::string(value);
        return !value.empty();
    }
    if (key == "modules") {
        p.modulesDir = std::string(value);
        return !value.empty();
    }
    if (key == "latency_us") return parseRange(value, 0, 1000000, &config->latencyUs);
    return false;
}

}  // namespace

bool parseSimConfig(std::string_view text, SimConfig* config, std::string* error) {
    SimConfig result;
    std::set<std::string, std::less<>> seen;
    text = trim(text);
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = trim(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        if (comma != std::string_view::npos && trim(text).empty()) {
            *error = "empty item after the last comma";
            return false;
        }
        if (item.empty()) {
            *error = "empty item";
            return false;
        }
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos) {
            *error = "item \"" + std::string(item) + "\" is not key=value";
            return false;
        }
        const std::string key = lower(trim(item.substr(0, equals)));
        std::string_view value = trim(item.substr(equals + 1));
        if (expectation(key).empty()) {
            *error = "unknown key \"" + key + "\"";
            return false;
        }
        // key=value@I limits a programmer's item to programmer I.
        std::string seenKey = key;
        const std::size_t at = isProgrammerKey(key) ? value.rfind('@') : std::string_view::npos;
        if (at != std::string_view::npos) {
            SimProgrammerItem only{0, key, std::string(trim(value.substr(0, at)))};
            const std::string_view which = trim(value.substr(at + 1));
            SimProgrammerOptions scratch;
            if (!parseRange(which, 0, 15, &only.programmer)) {
                *error = "bad programmer \"" + std::string(which) + "\" after @ in " + key +
                         " (expected a programmer index from 0 to 15)";
                return false;
            }
            if (!applyProgrammerItem(key, only.value, scratch)) {
                *error = "bad value \"" + only.value + "\" for " + key + " (expected " +
                         std::string(expectation(key)) + ")";
                return false;
            }
            seenKey += "@" + std::to_string(only.programmer);
            if (!seen.insert(seenKey).second) {
                *error = "key \"" + seenKey + "\" given twice";
                return false;
            }
            result.only.push_back(std::move(only));
            continue;
        }
        if (!seen.insert(seenKey).second) {
            *error = "key \"" + key + "\" given twice";
            return false;
        }
        if (!applyItem(key, value, &result)) {
            *error = "bad value \"" + std::string(value) + "\" for " + key + " (expected " +
                     std::string(expectation(key)) + ")";
            return false;
        }
    }
    for (const SimProgrammerItem& only : result.only) {
        if (only.programmer >= result.programmers) {
            *error = only.key + "@" + std::to_string(only.programmer) + " names a programmer beyond the " +
                     std::to_string(result.programmers) + " there are";
            return false;
        }
    }
    *config = result;
    return true;
}

SimProgrammerOptions programmerOptions(const SimConfig& config, std::uint32_t index) {
    SimProgrammerOptions options = config.programmer;
    for (const SimProgrammerItem& only : config.only) {
        if (only.programmer == index) applyProgrammerItem(only.key, only.value, options);
    }
    options.file = flashFileFor(config.programmer.file, index);
    return options;
}

std::string flashFileFor(const std::string& file, std::uint32_t index) {
    if (file.empty() || index == 0) return file;
    return file + "." + std::to_string(index);
}

}  // namespace vmsim
