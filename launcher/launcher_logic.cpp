#include "launcher/launcher_logic.h"

#include <cctype>
#include <cstring>
#include <memory>

namespace launcher {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool isBlank(int c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Deletes the language file and writes the Chinese choice as a text stream
// (the platform's line end). When it can't be created the launcher goes on.
void writeChineseChoice() {
    std::remove(kLanguageFile);
    File f(std::fopen(kLanguageFile, "w"));
    if (f) std::fputs("SC\n", f.get());
}

}  // namespace

std::string readFirstWord(std::FILE* file) {
    int c = std::fgetc(file);
    while (c != EOF && isBlank(c)) c = std::fgetc(file);
    std::string word;
    while (c != EOF && !isBlank(c)) {
        // A word that doesn't fit the buffer counts as no word at all.
        if (word.size() == kWordBufferSize - 1) return std::string();
        word.push_back(static_cast<char>(c));
        c = std::fgetc(file);
    }
    return word;
}

bool languageOfWord(const std::string& word, Language& language) {
    // The word is a C string: a zero byte ends it.
    const char* text = word.c_str();
    if (std::strstr(text, "EN")) {
        language = Language::English;
        return true;
    }
    if (std::strstr(text, "SC")) {
        language = Language::Chinese;
        return true;
    }
    return false;
}

bool chooseLanguage(Language& language) {
    std::string word;
    {
        File f(std::fopen(kLanguageFile, "a+"));
        if (!f) return false;
        std::rewind(f.get());
        word = readFirstWord(f.get());
    }
    if (languageOfWord(word, language)) return true;
    writeChineseChoice();
    language = Language::Chinese;
    return true;
}

std::string programBeside(const std::string& ownPath, char separator, const std::string& program) {
    if (ownPath.empty()) return std::string();
    const std::size_t last = ownPath.rfind(separator);
    if (last == std::string::npos) return program;
    return ownPath.substr(0, last + 1) + program;
}

int runLauncher(const LauncherPlatform& platform) {
    Language language = Language::Chinese;
    if (!chooseLanguage(language)) {
        platform.showError(kConfigErrorText, kConfigErrorCaption);
        return 0;
    }
    const std::string& program =
        language == Language::English ? platform.englishProgram : platform.chineseProgram;
    const std::string path = programBeside(platform.ownPath, platform.separator, program);
    if (path.empty() || !platform.start(path)) {
        const std::string text = kStartErrorText + (path.empty() ? program : path);
        platform.showError(text.c_str(), kStartErrorCaption);
    }
    return 0;
}

}  // namespace launcher
