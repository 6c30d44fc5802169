#include "job/job_file.h"

// One translation unit holds the TOML library, without exceptions: a parse
// gives its result or its error.
//
// toml++ 3.3 (Debian 12) checks its own parser's state with assertions that
// some malformed texts break (found by fuzz_job); with NDEBUG it even takes
// them as given, which makes such a text undefined behaviour. Here every
// one of them is checked, in every build, and a broken one ends the parse
// as an error of the text.
namespace vmjob {
struct TomlStateBroken {};
[[noreturn]] inline void tomlStateBroken() { throw TomlStateBroken{}; }
}  // namespace vmjob
#pragma push_macro("NDEBUG")
#undef NDEBUG
#define TOML_ASSERT(expr) ((expr) ? static_cast<void>(0) : ::vmjob::tomlStateBroken())
#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 1
#include <toml++/toml.h>
#pragma pop_macro("NDEBUG")

#include <algorithm>
#include <cctype>
#include <functional>
#include <sstream>
#include <vector>

#include "job/job_serial.h"

namespace vmjob {

std::string Problem::text() const {
    std::string out = file;
    if (line > 0) out += ":" + std::to_string(line);
    out += ": ";
    if (!key.empty()) out += key + ": ";
    return out + message;
}

namespace {

// One key a table may hold, and how its value is taken.
struct KeyRule {
    const char* name;
    bool required;
    std::function<std::optional<std::string>(const toml::node&, JobSpec&)> take;
};

// One table of the file; `open` (when set) readies the job's fields for its keys.
struct TableRule {
    const char* name;
    bool required;
    std::vector<KeyRule> keys;
    void (*open)(JobSpec&, unsigned line) = nullptr;
};

unsigned lineOf(const toml::node& node) { return static_cast<unsigned>(node.source().begin.line); }

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
}

// A string value into `field`, checked by `valid` (a problem text, or none).
KeyRule stringKey(const char* name, bool required, std::string JobSpec::*field,
                  std::function<std::optional<std::string>(std::string&)> valid = {},
                  unsigned JobSpec::*line = nullptr) {
    return {name, required, [=](const toml::node& node, JobSpec& spec) -> std::optional<std::string> {
                const auto* value = node.as_string();
                if (!value) return std::string("must be a string");
                std::string text = value->get();
                if (valid) {
                    if (std::optional<std::string> problem = valid(text)) return problem;
                }
                spec.*field = text;
                if (line) spec.*line = lineOf(node);
                return std::nullopt;
            }};
}

KeyRule stepKey(const char* name, bool JobSpec::*field) {
    return {name, false, [=](const toml::node& node, JobSpec& spec) -> std::optional<std::string> {
                const auto* value = node.as_boolean();
                if (!value) return std::string("must be true or false");
                spec.*field = value->get();
                return std::nullopt;
            }};
}

// [steps] erase: true, false or "if-needed".
KeyRule eraseKey() {
    return {"erase", false, [](const toml::node& node, JobSpec& spec) -> std::optional<std::string> {
                if (const auto* text = node.as_string()) {
                    if (text->get() != "if-needed")
                        return std::string("must be true, false or \"if-needed\"");
                    spec.erase = true;
                    spec.eraseIfNeeded = true;
                    return std::nullopt;
                }
                const auto* value = node.as_boolean();
                if (!value) return std::string("must be true, false or \"if-needed\"");
                spec.erase = value->get();
                spec.eraseIfNeeded = false;
                return std::nullopt;
            }};
}

// A whole number of [serial], at least `least`, into `field`.
template <typename T>
KeyRule serialNumberKey(const char* name, bool required, T vmserial::SerialSettings::*field,
                        unsigned SerialLines::*line, std::int64_t least) {
    return {name, required, [=](const toml::node& node, JobSpec& spec) -> std::optional<std::string> {
                const auto* value = node.as_integer();
                if (!value) return std::string("must be a whole number");
                if (value->get() < least) return "must be at least " + std::to_string(least);
                *spec.serial.*field = static_cast<T>(value->get());
                spec.serialLines.*line = lineOf(node);
                return std::nullopt;
            }};
}

// A string of [serial], checked and taken by `take` (a problem text, or none).
KeyRule serialTextKey(const char* name, bool required, unsigned SerialLines::*line,
                      std::optional<std::string> (*take)(const std::string&, vmserial::SerialSettings&)) {
    return {name, required, [=](const toml::node& node, JobSpec& spec) -> std::optional<std::string> {
                const auto* value = node.as_string();
                if (!value) return std::string("must be a string");
                if (std::optional<std::string> problem = take(value->get(), *spec.serial)) return problem;
                spec.serialLines.*line = lineOf(node);
                return std::nullopt;
            }};
}

std::optional<std::string> takeFormat(const std::string& text, vmserial::SerialSettings& settings) {
    const std::optional<vmserial::SerialFormat> format = vmserial::parseSerialFormat(text);
    if (!format)
        return "must be u16le, u16be, u32le, u32be, u64le, u64be, ascii-dec, ascii-hex or bcd, not '" +
               text + "'";
    settings.format = *format;
    return std::nullopt;
}

std::optional<std::string> takeStore(const std::string& text, vmserial::SerialSettings& settings) {
    if (std::optional<std::string> problem = storeUrlProblem(text)) return problem;
    settings.store = text;
    return std::nullopt;
}

std::vector<KeyRule> serialKeys() {
    using vmserial::SerialSettings;
    return {serialNumberKey("offset", true, &SerialSettings::offset, &SerialLines::offset, 0),
            serialTextKey("format", true, &SerialLines::format, takeFormat),
            serialNumberKey("width", false, &SerialSettings::width, &SerialLines::width, 1),
            serialNumberKey("first", true, &SerialSettings::first, &SerialLines::first, 0),
            serialNumberKey("last", true, &SerialSettings::last, &SerialLines::last, 0),
            serialNumberKey("step", false, &SerialSettings::step, &SerialLines::step, 1),
            serialTextKey("store", false, &SerialLines::store, takeStore)};
}

void openSerial(JobSpec& spec, unsigned line) {
    spec.serial.emplace();
    spec.serialLines.table = line;
}

std::optional<std::string> validName(std::string& text) {
    if (text.empty() || !std::all_of(text.begin(), text.end(), isNameChar))
        return "must be letters, digits, '-', '_' and '.', not '" + text + "'";
    return std::nullopt;
}

std::optional<std::string> validSha256(std::string& text) {
    if (text.size() != 64 || !std::all_of(text.begin(), text.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
        })) {
        return std::string("must be 64 hexadecimal digits");
    }
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::nullopt;
}

std::optional<std::string> notEmpty(std::string& text) {
    if (text.empty()) return std::string("must not be empty");
    return std::nullopt;
}

const std::vector<TableRule>& rules() {
    static const std::vector<TableRule> tables = {
        {"job", true, {stringKey("name", true, &JobSpec::name, validName),
                       stringKey("revision", false, &JobSpec::revision)}},
        {"image", true, {stringKey("file", true, &JobSpec::imageFile, notEmpty, &JobSpec::imageFileLine),
                         stringKey("sha256", true, &JobSpec::imageSha256, validSha256,
                                   &JobSpec::imageSha256Line)}},
        {"flash", true, {stringKey("size", true, &JobSpec::size, notEmpty, &JobSpec::sizeLine)}},
        {"steps", false, {eraseKey(), stepKey("program", &JobSpec::program),
                          stepKey("verify", &JobSpec::verify)}},
        {"serial", false, serialKeys(), openSerial},
    };
    return tables;
}

// Checks one table's keys and takes their values; the first problem ends it.
std::optional<Problem> readTable(const TableRule& rule, const toml::table& table, JobSpec& spec,
                                 const std::string& fileName) {
    for (const auto& [key, node] : table) {
        const std::string name(key.str());
        auto known = std::find_if(rule.keys.begin(), rule.keys.end(),
                                  [&](const KeyRule& k) { return name == k.name; });
        const std::string path = std::string(rule.name) + "." + name;
        if (known == rule.keys.end()) return Problem{fileName, lineOf(node), path, "unknown key"};
        if (std::optional<std::string> problem = known->take(node, spec))
            return Problem{fileName, lineOf(node), path, *problem};
    }
    for (const KeyRule& key : rule.keys) {
        if (key.required && !table.contains(key.name))
            return Problem{fileName, lineOf(table), std::string(rule.name) + "." + key.name,
                           "missing (required)"};
    }
    return std::nullopt;
}

std::optional<Problem> readTables(const toml::table& root, JobSpec& spec, const std::string& fileName) {
    for (const auto& [key, node] : root) {
        const std::string name(key.str());
        auto known = std::find_if(rules().begin(), rules().end(),
                                  [&](const TableRule& t) { return name == t.name; });
        if (known == rules().end()) return Problem{fileName, lineOf(node), name, "unknown table"};
        const toml::table* table = node.as_table();
        if (!table) return Problem{fileName, lineOf(node), name, "must be a table ([" + name + "])"};
        if (known->open) known->open(spec, lineOf(node));
        if (std::optional<Problem> problem = readTable(*known, *table, spec, fileName)) return problem;
    }
    for (const TableRule& table : rules()) {
        if (table.required && !root.contains(table.name))
            return Problem{fileName, 0, table.name, "missing table [" + std::string(table.name) + "]"};
    }
    return std::nullopt;
}

// The line of the first byte that is neither printable ASCII nor a tab or
// line end; 0 when there is none. TOML allows no other control character,
// and the TOML library of Debian 12 (toml++ 3.3) reaches undefined
// behaviour on some characters beyond ASCII (its whitespace test) and trips
// its own assertions on NUL bytes, so a job stays in printable ASCII.
unsigned firstNonAsciiLine(std::string_view text) {
    unsigned line = 1;
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x7F || (byte < 0x20 && c != '\t' && c != '\n' && c != '\r')) return line;
        if (c == '\n') ++line;
    }
    return 0;
}

// Whether a key = value line's value is an array or an inline table ("[",
// "{"). A job has neither; and toml++ 3.3 trips its own assertions on some
// malformed ones ("[[}"), so they never reach it.
bool arrayOrTableValue(std::string_view row) {
    const std::size_t equals = row.find('=');
    if (equals == std::string_view::npos || row.substr(0, equals).find_first_of("\"'") != std::string_view::npos)
        return false;
    const std::size_t value = row.find_first_not_of(" \t", equals + 1);
    return value != std::string_view::npos && (row[value] == '[' || row[value] == '{');
}

// The line of the first table header that is not a plain [name] (letters,
// digits, '-', '_'), or of the first array or inline-table value; 0 when
// there is none. A job has only such tables and plain values; and toml++
// 3.3 trips its own assertions on some malformed headers ("[:::job]") and
// arrays, so they never reach it. `header` tells which it was.
unsigned firstOddLine(std::string_view text, bool* header) {
    unsigned line = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        ++line;
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view row = text.substr(start, end - start);
        start = end + 1;
        const std::size_t first = row.find_first_not_of(" \t");
        if (first == std::string_view::npos) continue;
        *header = row[first] == '[';
        if (!*header) {
            if (arrayOrTableValue(row)) return line;
            continue;
        }
        std::size_t i = first + 1;
        while (i < row.size() && (row[i] == ' ' || row[i] == '\t')) ++i;
        const std::size_t nameStart = i;
        while (i < row.size() && (std::isalnum(static_cast<unsigned char>(row[i])) || row[i] == '-' || row[i] == '_'))
            ++i;
        const bool named = i > nameStart;
        while (i < row.size() && (row[i] == ' ' || row[i] == '\t')) ++i;
        if (!named || i >= row.size() || row[i] != ']') return line;
        const std::size_t rest = row.find_first_not_of(" \t\r", i + 1);
        if (rest != std::string_view::npos && row[rest] != '#') return line;
    }
    return 0;
}

// [serial]'s keys in the order of the file's description (a TOML table
// would sort them), the offset in hexadecimal.
std::string serialTableText(const vmserial::SerialSettings& settings) {
    std::ostringstream out;
    const auto line = [&](const char* key, auto value) { out << toml::table{{key, value}} << "\n"; };
    toml::value<std::int64_t> offset(static_cast<std::int64_t>(settings.offset));
    offset.flags(toml::value_flags::format_as_hexadecimal);
    out << "offset = " << offset << "\n";
    line("format", vmserial::serialFormatName(settings.format));
    if (settings.width != 0) line("width", static_cast<std::int64_t>(settings.width));
    line("first", static_cast<std::int64_t>(settings.first));
    line("last", static_cast<std::int64_t>(settings.last));
    line("step", static_cast<std::int64_t>(settings.step));
    if (!settings.store.empty()) line("store", settings.store);
    return out.str();
}

}  // namespace

JobRead readJobText(std::string_view text, const std::string& fileName) {
    JobRead read;
    if (const unsigned line = firstNonAsciiLine(text)) {
        read.problem = {fileName, line, "", "holds a character that is not printable ASCII; a job file is printable ASCII"};
        return read;
    }
    bool header = false;
    if (const unsigned line = firstOddLine(text, &header)) {
        read.problem = {fileName, line, "",
                        header ? "a table header is [name], the name of letters, digits, '-' and '_'"
                               : "a job's values are strings, numbers or true/false, not arrays or tables"};
        return read;
    }
    std::optional<toml::parse_result> result;
    try {
        result = toml::parse(text, fileName);
    } catch (const TomlStateBroken&) {
        read.problem = {fileName, 0, "", "is no TOML that a job can be read from"};
        return read;
    }
    toml::parse_result& parsed = *result;
    if (!parsed) {
        const toml::parse_error& error = parsed.error();
        read.problem = {fileName, static_cast<unsigned>(error.source().begin.line), "",
                        std::string(error.description())};
        return read;
    }
    JobSpec spec;
    if (std::optional<Problem> problem = readTables(parsed.table(), spec, fileName)) {
        read.problem = *problem;
        return read;
    }
    // A string of a job is one line of printable ASCII, as its text is: an
    // escaped control character (a line end, a tab) or one beyond ASCII
    // ("\U0000051b") in the image's name or the revision would write back
    // as a text the reader refuses.
    static const std::string none;
    using Text = std::pair<const std::string*, const char*>;
    for (const auto& [value, where] : {Text{&spec.imageFile, "image.file"}, Text{&spec.revision, "job.revision"},
                                       Text{&spec.size, "flash.size"},
                                       Text{spec.serial ? &spec.serial->store : &none, "serial.store"}}) {
        const bool printable = std::all_of(value->begin(), value->end(), [](char c) {
            return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F;
        });
        if (printable) continue;
        const toml::node* node = parsed.table().at_path(where).node();
        read.problem = {fileName, node ? lineOf(*node) : 0, where, "holds a control character or one beyond ASCII (escaped)"};
        return read;
    }
    if (!spec.erase && !spec.program && !spec.verify) {
        const toml::node* steps = parsed.table().get("steps");
        read.problem = {fileName, steps ? lineOf(*steps) : 0, "steps",
                        "all three steps are off: the job would do nothing"};
        return read;
    }
    // A unit's number reaches its module only with the program step:
    // without it each unit would spend a number on a module that never
    // holds it.
    if (spec.serial && !spec.program) {
        const toml::node* program = parsed.table().at_path("steps.program").node();
        read.problem = {fileName, program ? lineOf(*program) : 0, "steps.program",
                        "must be true with [serial] (line " + std::to_string(spec.serialLines.table) +
                            "): a unit's number reaches its module only by the program step"};
        return read;
    }
    if (std::optional<Problem> problem = serialRangeProblem(spec, fileName)) {
        read.problem = *problem;
        return read;
    }
    read.spec = spec;
    return read;
}

std::string jobText(const JobSpec& spec) {
    toml::table job{{"name", spec.name}};
    if (!spec.revision.empty()) job.insert("revision", spec.revision);
    const toml::table image{{"file", spec.imageFile}, {"sha256", spec.imageSha256}};
    const toml::table flash{{"size", spec.size}};
    toml::table steps{{"erase", spec.erase}, {"program", spec.program}, {"verify", spec.verify}};
    if (spec.eraseIfNeeded) steps.insert_or_assign("erase", "if-needed");
    std::ostringstream out;
    out << "[job]\n" << job << "\n\n[image]\n" << image << "\n\n[flash]\n" << flash
        << "\n\n[steps]\n" << steps << "\n";
    if (spec.serial) out << "\n[serial]\n" << serialTableText(*spec.serial);
    return out.str();
}

}  // namespace vmjob
