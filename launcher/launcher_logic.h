// The language launcher: reads the operator's choice from `language.config`
// in the current directory and starts the matching build of the programmer
// application from the launcher's own directory. Platform-free; the process
// entry of each platform fills in a LauncherPlatform and calls runLauncher.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

namespace launcher {

inline constexpr char kLanguageFile[] = "language.config";
inline constexpr char kConfigErrorText[] = "Can't Loading language config file...Manual operation application";
inline constexpr char kConfigErrorCaption[] = "Error load config file";
inline constexpr char kStartErrorText[] = "Can't start the programmer application: ";
inline constexpr char kStartErrorCaption[] = "Error start application";

// The first word is read into a buffer of this size: at most 259 characters.
inline constexpr std::size_t kWordBufferSize = 260;

enum class Language { English, Chinese };

// What the launcher needs from its platform.
struct LauncherPlatform {
    std::string ownPath;  // full path of the launcher's executable; empty when unknown
    char separator = '/';  // the platform's directory separator
    std::string englishProgram;  // file names of the two builds
    std::string chineseProgram;
    // Starts the program at `path` with no arguments and does not wait for it;
    // false when it could not be started.
    std::function<bool(const std::string& path)> start;
    std::function<void(const char* text, const char* caption)> showError;
};

// The first word of the file: leading white space skipped, then everything up
// to the next white space. A word longer than kWordBufferSize - 1 characters
// reads as empty, as does an empty file.
std::string readFirstWord(std::FILE* file);

// The language a first word chooses: "EN" anywhere in it (case-sensitive)
// chooses English, else "SC" chooses Chinese. False for neither.
bool languageOfWord(const std::string& word, Language& language);

// Reads `language.config` in the current directory, creating it empty when
// missing. When it names neither language it is rewritten to "SC" and Chinese
// is chosen. False when the file can't be opened.
bool chooseLanguage(Language& language);

// The program `program` in the directory of `ownPath` (the text up to and
// including its last separator); the bare program name when `ownPath` holds
// no separator, empty when `ownPath` is empty.
std::string programBeside(const std::string& ownPath, char separator, const std::string& program);

// The launcher's whole run. Always returns the exit code 0.
int runLauncher(const LauncherPlatform& platform);

}  // namespace launcher
