#include "app/image_files.h"

#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/control_ids.h"
#include "app/main_window.h"
#include "app/programmer_session.h"
#include "texts/texts.h"
#include "app/window_ops.h"
#include "platform/files.h"

namespace {

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
    ProgrammerSession& session = window.session();
    session.dropImage();
    if (state.startupFilePending == 1) {
        std::memcpy(state.fileSelection.fullPath, state.startupPath, kPathBytes);
        state.startupFilePending = 0;
    } else if (!chooseOpenFile(window, state.fileSelection)) {
        session.loadCancelled();
        return;
    }
    session.loadImage(state.fileSelection);
}

bool saveImage(MainWindow& window) {
    ProgrammerSession& session = window.session();
    // Without an image the session says so before any chooser opens.
    if (session.imageSize() == 0 || !session.hasImage()) {
        session.saveImage({});
        return false;
    }
    FileSelection target;
    if (!chooseSaveFile(window, target)) {
        appendLog(window, txt().saveCancelled);
        return false;
    }
    return session.saveImage(target.fullPath) == SaveResult::saved;
}

void showImageSummary(MainWindow& window) { window.session().showImageSummary(); }
