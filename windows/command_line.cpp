#include "windows/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>

namespace {
struct LocalFreer {
    void operator()(LPWSTR* p) const { LocalFree(p); }
};

// One UTF-16 argument in the ANSI code page; false when some character has
// no exact ANSI form.
bool toAnsi(const wchar_t* text, std::string& ansi) {
    ansi.clear();
    if (text == nullptr || *text == L'\0') return true;
    // No best-fit mapping: an unmappable character makes the whole argument
    // unusable instead of turning into a look-alike (or into '?', which the
    // file lookup would take as a wildcard). A UTF-8 code page spells every
    // character and takes neither the flag nor the default-character check.
    const UINT codePage = GetACP();
    const bool spellsAll = codePage == CP_UTF8 || codePage == CP_UTF7;
    const DWORD flags = codePage == CP_UTF8   ? WC_ERR_INVALID_CHARS
                        : codePage == CP_UTF7 ? 0
                                              : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* check = spellsAll ? nullptr : &usedDefault;
    const int size = WideCharToMultiByte(codePage, flags, text, -1, nullptr, 0, nullptr, check);
    if (size <= 0 || usedDefault) return false;
    std::string buffer(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(codePage, flags, text, -1, buffer.data(), size, nullptr, check) != size ||
        usedDefault) {
        return false;
    }
    buffer.resize(static_cast<size_t>(size) - 1);
    ansi = std::move(buffer);
    return true;
}

}  // namespace

std::vector<std::string> ansiCommandLineArguments() {
    int count = 0;
    std::unique_ptr<LPWSTR, LocalFreer> list(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::string> arguments;
    if (!list) return arguments;
    for (int i = 0; i < count; ++i) {
        std::string ansi;
        if (!toAnsi(list.get()[i], ansi)) ansi.clear();
        arguments.push_back(std::move(ansi));
    }
    return arguments;
}
