// Checks of the files a run names, made before anything is sent to the
// programmer, so that a name that cannot serve ends the run at once with
// its reason. Each returns the reason in words, or nothing when the file
// can serve.
#pragma once

#include <optional>
#include <string>

// IMAGE of program, verify, onekey: it exists and is not a pipe, device or
// socket (a read of those may wait for ever). A folder passes: the window's
// load reports it as its open error.
std::optional<std::string> imageFileProblem(const std::string& path);

// read -o PATH: a name is given; it is not a folder or a special file (a
// link is followed to its target); its folder exists and files can be
// created in it.
std::optional<std::string> outputFileProblem(const std::string& path);

// The preferences file beside the program: missing or a regular file.
std::optional<std::string> preferencesFileProblem(const std::string& path);

// Why the system would not open `path` for reading, in words.
std::string openErrorText(const std::string& path);
