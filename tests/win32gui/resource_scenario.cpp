// The resources inside both programs: every one tagged Chinese (PRC), the
// main window in SimSun 11 points with its menu, the small dialogs in the
// system font at 10 points, and the application icon.
#include "gui_fixture.h"

#include <cstring>
#include <set>

namespace gui {
namespace {

class ResourceScenario : public GuiTest {};

constexpr WORD kChinesePrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

// A program's file loaded as data: its resources, none of its code.
class ResourceFile {
public:
    explicit ResourceFile(const std::wstring& path)
        : module_(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~ResourceFile() {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    ResourceFile(const ResourceFile&) = delete;
    ResourceFile& operator=(const ResourceFile&) = delete;
    HMODULE module() const { return module_; }

private:
    HMODULE module_;
};

BOOL CALLBACK addLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR set) {
    reinterpret_cast<std::set<WORD>*>(set)->insert(language);
    return TRUE;
}

BOOL CALLBACK eachName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR set) {
    EnumResourceLanguagesW(module, type, name, addLanguage, set);
    return TRUE;
}

BOOL CALLBACK eachType(HMODULE module, LPWSTR type, LONG_PTR set) {
    EnumResourceNamesW(module, type, eachName, set);
    return TRUE;
}

// The languages of all resources of the file.
std::set<WORD> resourceLanguages(HMODULE module) {
    std::set<WORD> languages;
    EnumResourceTypesW(module, eachType, reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

// The header of an extended dialog template.
struct DialogTemplate {
    bool found = false;
    DWORD style = 0;
    int menu = 0;  // ordinal, 0 for none
    std::wstring title;
    int pointSize = 0;
    int charset = 0;
    std::wstring font;
};

DialogTemplate readDialog(HMODULE module, int id) {
    DialogTemplate dialog;
    HRSRC resource = FindResourceExW(module, MAKEINTRESOURCEW(5) /* RT_DIALOG */, MAKEINTRESOURCEW(id), kChinesePrc);
    if (resource == nullptr) return dialog;
    const auto* p = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
    const auto word = [&p] {
        WORD w;
        std::memcpy(&w, p, 2);
        p += 2;
        return w;
    };
    const auto text = [&] {
        std::wstring s;
        for (WORD c = word(); c != 0; c = word()) s += static_cast<wchar_t>(c);
        return s;
    };
    const auto ordinalOrText = [&] {
        const WORD first = word();
        if (first == 0) return 0;
        if (first == 0xFFFF) return static_cast<int>(word());
        p -= 2;
        text();
        return -1;
    };
    if (word() != 1 || word() != 0xFFFF) return dialog;  // version 1, extended
    p += 8;                                             // help id, extended style
    std::memcpy(&dialog.style, p, 4);
    p += 4 + 2 + 8;  // style, item count, rectangle
    dialog.menu = ordinalOrText();
    ordinalOrText();  // window class
    dialog.title = text();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = word();
        word();                 // weight
        dialog.charset = p[1];  // after the italic flag
        p += 2;
        dialog.font = text();
    }
    dialog.found = true;
    return dialog;
}

void checkProgram(const std::wstring& program) {
    SCOPED_TRACE(narrow(program));
    ResourceFile file(program);
    ASSERT_NE(file.module(), nullptr);
    EXPECT_EQ(resourceLanguages(file.module()), std::set<WORD>{kChinesePrc});
    EXPECT_NE(FindResourceExW(file.module(), MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, MAKEINTRESOURCEW(128),
                              kChinesePrc),
              nullptr);

    const DialogTemplate main = readDialog(file.module(), 101);
    ASSERT_TRUE(main.found);
    EXPECT_EQ(main.font, L"\u5b8b\u4f53");
    EXPECT_EQ(main.pointSize, 11);
    EXPECT_EQ(main.charset, GB2312_CHARSET);
    EXPECT_EQ(main.menu, 142);
    for (int small : {105, 109}) {
        const DialogTemplate dialog = readDialog(file.module(), small);
        ASSERT_TRUE(dialog.found) << small;
        EXPECT_EQ(dialog.pointSize, 10) << small;
        EXPECT_TRUE(dialog.font == L"MS Shell Dlg" || dialog.font == L"System") << small;
    }
    EXPECT_EQ(readDialog(file.module(), 109).title, L"Auto Flash...");
}

TEST_F(ResourceScenario, BothProgramsCarryTheChineseTaggedWindows) {
    checkProgram(englishProgram());
    checkProgram(chineseProgram());
}

}  // namespace
}  // namespace gui
