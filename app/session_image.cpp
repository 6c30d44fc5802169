// The session's image: Load, bytes taken from the caller, Save, the summary.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "app/image_files.h"
#include "app/programmer_session.h"
#include "texts/texts.h"
#include "platform/files.h"

namespace {

constexpr std::uint32_t kWarnAboveBytes = 16777216;

// Writes the whole image; false on any short or failed write.
bool writeAll(std::FILE* file, const std::uint8_t* data, std::uint32_t size) {
    bool ok = std::fwrite(data, size, 1, file) == 1;
    ok = std::fflush(file) == 0 && ok;
    return std::fclose(file) == 0 && ok;
}

void copyBounded(char (&target)[kPathBytes], const std::string& text) {
    const std::size_t n = text.size() < kPathBytes - 1 ? text.size() : kPathBytes - 1;
    std::memcpy(target, text.data(), n);
    target[n] = '\0';
}

}  // namespace

const std::uint8_t* ProgrammerSession::imageData() const {
    if (state_.imageData) return state_.imageData.get();
    return sharedImage_ ? sharedImage_->data() : nullptr;
}

std::uint64_t ProgrammerSession::imageChecksum() const {
    return ::imageChecksum(imageData(), imageData() ? state_.imageSize : 0);
}

void ProgrammerSession::dropImage() {
    state_.imageData.reset();
    sharedImage_.reset();
}

void ProgrammerSession::loadCancelled() {
    dropImage();
    log(txt().loadCancelled);
    state_.fileSelection = {};
    state_.fileSizeHigh = 0;
    state_.imageSize = 0;
}

LoadResult ProgrammerSession::loadImage(const std::string& path) {
    if (path.size() >= kPathBytes) return LoadResult::nameTooLong;
    FileSelection selection;
    std::size_t name = path.size();
    while (name > 0 && !platform::isPathSeparator(path[name - 1])) --name;
    copyBounded(selection.directory, path.substr(0, name));
    copyBounded(selection.name, path.substr(name));
    copyBounded(selection.fullPath, path);
    return loadImage(selection);
}

LoadResult ProgrammerSession::loadImage(const FileSelection& selection) {
    const Texts& t = txt();
    dropImage();
    if (&selection != &state_.fileSelection) state_.fileSelection = selection;
    const char* path = state_.fileSelection.fullPath;
    platform::FileLookup lookup = platform::lookUpFile(path);
    if (!lookup.found) {
        // The file vanished after its choice: an open failure, and no size
        // of an earlier lookup is kept.
        state_.fileSizeHigh = 0;
        state_.imageSize = 0;
        logf(t.loadOpenError, static_cast<unsigned>(lookup.error));
        showImageSummary();
        return LoadResult::openFailed;
    }
    state_.fileSizeHigh = static_cast<std::uint32_t>(lookup.size >> 32);
    state_.imageSize = static_cast<std::uint32_t>(lookup.size);
    if (state_.fileSizeHigh != 0) {
        log(t.loadFileTooLarge);
        showImageSummary();
        return LoadResult::tooLarge;
    }
    announceImage(path, state_.imageSize);
    const LoadResult result = readImageFile(path);
    showImageSummary();
    return result;
}

// The name and size lines of an image about to be taken, its fields, and
// the warning for a large one.
void ProgrammerSession::announceImage(const std::string& name, std::uint64_t bytes) {
    const Texts& t = txt();
    log(name);
    if (SessionObserver* observer = observer_.load()) observer->imageNamed(name, state_.imageSize);
    logf(t.loadSizeLine, static_cast<int>(state_.imageSize), state_.imageSize * 8.0 / 1048576.0);
    SessionObserver* observer = observer_.load();
    if (bytes > kWarnAboveBytes && observer) {
        observer->warning(t.loadWarningText, t.loadWarningCaption);
    }
}

LoadResult ProgrammerSession::readImageFile(const char* path) {
    const Texts& t = txt();
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[state_.imageSize]);
    if (!buffer) {
        log(t.loadNoMemory);
        return LoadResult::noMemory;
    }
    std::uint32_t error = 0;
    std::FILE* file = platform::openForRead(path, &error);
    if (!file) {
        logf(t.loadOpenError, static_cast<unsigned>(error));
        return LoadResult::openFailed;
    }
    const bool whole = std::fread(buffer.get(), state_.imageSize, 1, file) == 1;
    std::fclose(file);
    if (!whole) {
        log(t.loadReadError);
        return LoadResult::readFailed;
    }
    state_.imageData = std::move(buffer);
    log(t.loadReadOk);
    if (state_.flashSize != 0 && state_.imageSize > state_.flashSize) log(t.loadTooLargeForFlash);
    return LoadResult::loaded;
}

void ProgrammerSession::takeImage(SharedImage bytes, const std::string& name) {
    dropImage();
    state_.fileSelection = {};
    copyBounded(state_.fileSelection.name, name);
    copyBounded(state_.fileSelection.fullPath, name);
    state_.fileSizeHigh = 0;
    state_.imageSize = bytes ? static_cast<std::uint32_t>(bytes->size()) : 0;
    announceImage(name, bytes ? bytes->size() : 0);
    sharedImage_ = std::move(bytes);
    const Texts& t = txt();
    log(t.loadReadOk);
    if (state_.flashSize != 0 && state_.imageSize > state_.flashSize) log(t.loadTooLargeForFlash);
    showImageSummary();
}

SaveResult ProgrammerSession::saveImage(const std::string& target) {
    const Texts& t = txt();
    if (state_.imageSize == 0 || !hasImage()) {
        log(t.saveNoData);
        return SaveResult::noImage;
    }
    // A device or pipe is written in place; a regular file is replaced only
    // once its new contents are complete, so a failed write never leaves a
    // truncated file where the operator's good one was.
    // A link is followed, so that the file it names is the one replaced.
    const std::string replaced = platform::saveTarget(target.c_str());
    const char* path = replaced.c_str();
    const bool inPlace = platform::isSpecialFile(path);
    const std::string written = inPlace ? replaced : replaced + ".vm612k-part";
    std::FILE* file = std::fopen(written.c_str(), "wb");
    if (!file) {
        log(t.saveCreateError);
        return SaveResult::createFailed;
    }
    bool ok = writeAll(file, imageData(), state_.imageSize);
    if (ok && !inPlace) ok = platform::replaceFile(written.c_str(), path);
    if (!ok && !inPlace) platform::removeFile(written.c_str());
    log(ok ? t.saveOk : t.saveError);
    return ok ? SaveResult::saved : SaveResult::writeFailed;
}

void ProgrammerSession::showImageSummary() {
    if (!hasImage()) return;
    const std::uint64_t sum = imageChecksum();
    logf(txt().checksumLine, static_cast<unsigned long long>(sum));
    if (SessionObserver* observer = observer_.load()) observer->imageSummary(sum, state_.imageSize);
}
