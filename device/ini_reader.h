// A read-only INI-style preferences file: "[section]" lines and "key=value"
// lines. Section and key names compare without regard to case; a value is the
// text after the first "=" with surrounding blanks removed, cut to
// kIniValueMax characters. The first matching key wins. The file is read once,
// when the object is made; lookups never touch the disk.
#pragma once

#include <string>
#include <string_view>
#include <vector>

constexpr std::size_t kIniValueMax = 127;

class IniFile {
public:
    IniFile() = default;

    // Reads the whole file; a file that can't be read leaves the object empty.
    static IniFile load(const std::string& path);
    // Parses text already in memory.
    static IniFile parse(std::string_view text);

    // The value of `key` in `section`, or `fallback` when there is none.
    std::string get(std::string_view section, std::string_view key,
                    std::string_view fallback = {}) const;

private:
    struct Entry {
        std::string section;
        std::string key;
        std::string value;
    };
    std::vector<Entry> entries_;
};
