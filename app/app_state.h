// The record of one programmer window's session. The program's entry (or
// the front end) creates it and hands it to its MainWindow.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "operations/workers.h"

// The bytes of a path field, with its terminator: a constant of the build
// (platform/CMakeLists.txt), 260 (MAX_PATH) for Windows, the system's
// PATH_MAX for Linux.
constexpr int kPathBytes = VM_PATH_BYTES;

// A chosen image file: directory (ending in a separator), name, full path.
struct FileSelection {
    char directory[kPathBytes] = {};
    char name[kPathBytes] = {};
    char fullPath[kPathBytes] = {};
};

struct OneKeyOptions {
    std::int32_t accepted = 0;
    std::int32_t erase = 0;
    std::int32_t program = 0;
    std::int32_t verify = 0;
};

struct AppState {
    char startupPath[kPathBytes] = {};
    std::uint8_t startupFilePending = 0;
    EraseRequest eraseRequest;
    std::int32_t flashKind = 0;
    std::uint32_t flashSize = 0;
    std::atomic<std::int32_t> deviceHandle{-1};
    FileSelection fileSelection;
    std::uint32_t fileSizeHigh = 0;
    std::uint32_t imageSize = 0;
    std::unique_ptr<std::uint8_t[]> imageData;
    std::atomic<std::int32_t> busy{0};
    OneKeyOptions oneKeyOptions;
    std::uint32_t logLineCount = 0;
};
