#include "app/image_files.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "app/app_state.h"
#include "app/control_ids.h"
#include "app/main_window.h"
#include "texts/texts.h"
#include "app/window_ops.h"
#include "platform/files.h"

namespace {

constexpr std::uint32_t kWarnAboveBytes = 16777216;

void copyBounded(char (&target)[kPathBytes], const std::string& text) {
    std::size_t n = text.size() < kPathBytes - 1 ? text.size() : kPathBytes - 1;
    std::memcpy(target, text.data(), n);
    target[n] = '\0';
}

// Splits the chooser's answer into directory, name and full path.
int fillSelection(const FileDialogResult& answer, FileSelection& selection) {
    if (!answer.chosen || answer.nameOffset > answer.path.size()) return 0;
    std::string directory = answer.path.substr(0, answer.nameOffset);
    std::string name = answer.path.substr(answer.nameOffset);
    if (!directory.empty() && !platform::isPathSeparator(directory.back())) {
        directory += platform::pathSeparator();
    }
    // A selection holds kPathBytes - 1 characters and its terminator; a
    // longer answer cannot be named and counts as no choice.
    if (directory.size() + name.size() >= kPathBytes) return 0;
    copyBounded(selection.directory, directory);
    copyBounded(selection.name, name);
    copyBounded(selection.fullPath, directory + name);
    return 1;
}

FileDialogParams openParams() {
    static const char* const kFilters[] = {shared_texts::kFilterAll, "*.*"};
    FileDialogParams params;
    params.title = txt().openDialogTitle;
    params.filters = kFilters;
    params.filterCount = 1;
    params.defaultExtension = shared_texts::kDefaultExtension;
    params.mustExist = true;
    params.keepCurrentDirectory = true;
    return params;
}

FileDialogParams saveParams() {
    static const char* const kFilters[] = {shared_texts::kFilterBin,  "*.BIN",
                                           shared_texts::kFilterText, "*.txt",
                                           shared_texts::kFilterAll,  "*.*"};
    FileDialogParams params;
    params.title = txt().saveDialogTitle;
    params.filters = kFilters;
    params.filterCount = 3;
    params.defaultExtension = shared_texts::kDefaultExtension;
    params.mustExist = true;
    params.keepCurrentDirectory = true;
    params.promptOverwrite = true;
    params.noDereferenceLinks = true;
    return params;
}

void setField(MainWindow& window, int id, const std::string& text) {
    window.host().runOnWindowThread([&] { window.host().setControlText(id, text); });
}

// Writes the whole image to `path`; false on any short or failed write.
bool writeAll(std::FILE* file, const std::uint8_t* data, std::uint32_t size) {
    bool ok = std::fwrite(data, size, 1, file) == 1;
    ok = std::fflush(file) == 0 && ok;
    return std::fclose(file) == 0 && ok;
}

}  // namespace

std::uint64_t imageChecksum(const std::uint8_t* data, std::uint64_t length) {
    if (!data || length == 0) return 0;
    std::uint64_t sum = 0;
    for (std::uint64_t i = 0; i < length; ++i) sum += data[i];
    return sum;
}

std::string sizeText(std::uint32_t bytes) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, shared_texts::kSizeFieldFormat, bytes / 1024.0);
    return buffer;
}

int chooseOpenFile(MainWindow& window, FileSelection& selection) {
    selection = {};
    return fillSelection(window.host().chooseOpenFile(openParams()), selection);
}

int chooseSaveFile(MainWindow& window, FileSelection& selection) {
    selection = {};
    return fillSelection(window.host().chooseSaveFile(saveParams()), selection);
}

void loadImage(MainWindow& window) {
    AppState& state = window.state();
    const Texts& t = txt();
    state.imageData.reset();

    if (state.startupFilePending == 1) {
        std::memcpy(state.fileSelection.fullPath, state.startupPath, kPathBytes);
        state.startupFilePending = 0;
    } else if (!chooseOpenFile(window, state.fileSelection)) {
        appendLog(window, t.loadCancelled);
        state.fileSelection = {};
        state.fileSizeHigh = 0;
        state.imageSize = 0;
        return;
    }

    const char* path = state.fileSelection.fullPath;
    platform::FileLookup lookup = platform::lookUpFile(path);
    if (!lookup.found) {
        // The file vanished after its choice: an open failure, and no size
        // of an earlier lookup is kept.
        state.fileSizeHigh = 0;
        state.imageSize = 0;
        appendLogf(window, t.loadOpenError, static_cast<unsigned>(lookup.error));
        showImageSummary(window);
        return;
    }
    state.fileSizeHigh = static_cast<std::uint32_t>(lookup.size >> 32);
    state.imageSize = static_cast<std::uint32_t>(lookup.size);
    if (state.fileSizeHigh != 0) {
        appendLog(window, t.loadFileTooLarge);
        showImageSummary(window);
        return;
    }

    appendLog(window, path);
    setField(window, ids::kPathField, path);
    setField(window, ids::kSizeField, sizeText(state.imageSize));
    appendLogf(window, t.loadSizeLine, static_cast<int>(state.imageSize),
               state.imageSize * 8.0 / 1048576.0);
    if (state.imageSize > kWarnAboveBytes) {
        window.host().runOnWindowThread([&] {
            window.host().messageBox(t.loadWarningText, t.loadWarningCaption, MessageIcon::Warning);
        });
    }

    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[state.imageSize]);
    if (!buffer) {
        appendLog(window, t.loadNoMemory);
        showImageSummary(window);
        return;
    }
    std::uint32_t error = 0;
    std::FILE* file = platform::openForRead(path, &error);
    if (!file) {
        appendLogf(window, t.loadOpenError, static_cast<unsigned>(error));
        showImageSummary(window);
        return;
    }
    bool whole = std::fread(buffer.get(), state.imageSize, 1, file) == 1;
    std::fclose(file);
    if (whole) {
        state.imageData = std::move(buffer);
        appendLog(window, t.loadReadOk);
        if (state.flashSize != 0 && state.imageSize > state.flashSize) {
            appendLog(window, t.loadTooLargeForFlash);
        }
    } else {
        appendLog(window, t.loadReadError);
    }
    showImageSummary(window);
}

bool saveImage(MainWindow& window) {
    AppState& state = window.state();
    const Texts& t = txt();
    if (state.imageSize == 0 || !state.imageData) {
        appendLog(window, t.saveNoData);
        return false;
    }
    FileSelection target;
    if (!chooseSaveFile(window, target)) {
        appendLog(window, t.saveCancelled);
        return false;
    }

    // A device or pipe is written in place; a regular file is replaced only
    // once its new contents are complete, so a failed write never leaves a
    // truncated file where the operator's good one was.
    // A link is followed, so that the file it names is the one replaced.
    const std::string replaced = platform::saveTarget(target.fullPath);
    const char* path = replaced.c_str();
    const bool inPlace = platform::isSpecialFile(path);
    std::string written = inPlace ? replaced : replaced + ".vm612k-part";
    std::FILE* file = std::fopen(written.c_str(), "wb");
    if (!file) {
        appendLog(window, t.saveCreateError);
        return false;
    }
    bool ok = writeAll(file, state.imageData.get(), state.imageSize);
    if (ok && !inPlace) ok = platform::replaceFile(written.c_str(), path);
    if (!ok && !inPlace) platform::removeFile(written.c_str());
    appendLog(window, ok ? t.saveOk : t.saveError);
    return ok;
}

void showImageSummary(MainWindow& window) {
    AppState& state = window.state();
    if (!state.imageData) return;
    unsigned long long sum = imageChecksum(state.imageData.get(), state.imageSize);
    appendLogf(window, txt().checksumLine, sum);
    char field[32];
    std::snprintf(field, sizeof field, shared_texts::kChecksumFieldFormat, sum);
    setField(window, ids::kChecksumField, field);
    setField(window, ids::kSizeField, sizeText(state.imageSize));
}
