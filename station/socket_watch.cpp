#include "station/socket_watch.h"

#include <algorithm>

namespace {

constexpr std::uint32_t kPage = 2048;

bool allOf(const std::uint8_t* bytes, std::uint8_t value) {
    return std::all_of(bytes, bytes + kPage, [value](std::uint8_t b) { return b == value; });
}

}  // namespace

std::optional<std::uint32_t> fingerprintPage(const std::vector<std::uint8_t>& image) {
    for (std::size_t at = 0; at + kPage <= image.size(); at += kPage) {
        if (!allOf(image.data() + at, 0xFF) && !allOf(image.data() + at, 0x00))
            return static_cast<std::uint32_t>(at / kPage);
    }
    return std::nullopt;
}

SocketWatch::SocketWatch(DeviceHandle handle, std::optional<std::uint32_t> page,
                         std::int32_t kind, std::uint32_t flashSize)
    : handle_(handle), page_(page), kind_(kind), flashSize_(flashSize) {}

SocketLook SocketWatch::look() {
    const std::uint64_t before = DevTransfers(handle_);
    const SocketLook found = lookOnce();
    ++looks_;
    transfers_ += DevTransfers(handle_) - before;
    return found;
}

SocketLook SocketWatch::lookOnce() {
    if (known_) {
        // Without a fingerprint page, or a module that could not be read,
        // only an empty socket tells a change.
        bool same = !page_ || known_->empty();
        if (!same) {
            const std::optional<std::vector<std::uint8_t>> now = readPage();
            same = now && *now == *known_;
        }
        if (same) {
            if (!weak_) return SocketLook::sameModule;
            const SocketLook there = presence();
            return there == SocketLook::newModule ? SocketLook::sameModule : there;
        }
        // A programmer that went keeps what it knew, for when it comes back.
        const SocketLook there = presence();
        if (there != SocketLook::lost) {
            known_.reset();
            weak_ = false;
        }
        return there;
    }
    return presence();
}

// The fingerprint page as the flash holds it now. A programmer that has
// had no flash selected (one just attached) gets the job's flash first.
std::optional<std::vector<std::uint8_t>> SocketWatch::readPage() {
    if (!page_) return std::nullopt;
    std::vector<std::uint8_t> bytes(kPage);
    std::uint32_t done = 0;
    if (DevRead(handle_, bytes.data(), kPage, *page_ * kPage, &done) == 0) {
        if (DevSetFlashType(handle_, kind_, flashSize_) == 0 ||
            DevRead(handle_, bytes.data(), kPage, *page_ * kPage, &done) == 0) {
            return std::nullopt;
        }
    }
    return bytes;
}

void SocketWatch::knowImage(std::vector<std::uint8_t> imagePage,
                            std::pair<std::uint64_t, std::uint64_t> field) {
    imagePage_ = std::move(imagePage);
    field_ = field;
    keepHeld_ = true;
}

void SocketWatch::traceImage(std::vector<std::uint8_t> imagePage) {
    imagePage_ = std::move(imagePage);
    field_ = {0, 0};
    keepHeld_ = false;
}

// Whether `page` (the fingerprint page) is the image's, outside the serial
// number's field.
bool SocketWatch::holdsImage(const std::vector<std::uint8_t>& page) const {
    if (!page_ || imagePage_.size() != page.size()) return false;
    const std::uint64_t base = std::uint64_t{*page_} * kPage;
    for (std::size_t i = 0; i < page.size(); ++i) {
        const std::uint64_t at = base + i;
        const bool inField = at >= field_.first && at < field_.first + field_.second;
        if (!inField && page[i] != imagePage_[i]) return false;
    }
    return true;
}

// Whether a flash answers at all.
SocketLook SocketWatch::presence() {
    const FlashReport report = DevQueryFlash(handle_, kind_);
    if (!report.replied) return SocketLook::lost;
    heldImage_ = false;
    if (report.answered && !imagePage_.empty()) {
        if (std::optional<std::vector<std::uint8_t>> now = readPage(); now && holdsImage(*now)) {
            heldImage_ = !keepHeld_;
            if (keepHeld_) {
                known_ = std::move(*now);
                weak_ = false;
                return SocketLook::sameModule;
            }
        }
    }
    if (report.answered) return SocketLook::newModule;
    known_.reset();
    weak_ = false;
    return SocketLook::empty;
}

void SocketWatch::passed(const std::vector<std::uint8_t>& image) {
    if (page_) {
        const auto from = image.begin() + static_cast<std::ptrdiff_t>(*page_ * kPage);
        known_.emplace(from, from + kPage);
        weak_ = false;
    } else {
        known_.emplace();
        weak_ = true;
    }
}

void SocketWatch::remember(std::optional<std::vector<std::uint8_t>> known) {
    known_ = std::move(known);
    // A passed module's page is never blank; an unread or blank one is weak.
    weak_ = known_ && (known_->size() != kPage || allOf(known_->data(), 0xFF));
}

void SocketWatch::lostDuringUnit() {
    known_.emplace();
    weak_ = true;
}

bool SocketWatch::failed() {
    known_.reset();
    weak_ = false;
    if (!DevQueryFlash(handle_, kind_).answered) return false;
    known_ = readPage();
    if (!known_) {
        // Unreadable, or no fingerprint page: only an empty socket will tell.
        known_.emplace();
        weak_ = true;
        return true;
    }
    weak_ = allOf(known_->data(), 0xFF);
    return true;
}
