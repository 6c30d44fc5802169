#include "station/socket_watch.h"

#include <algorithm>

namespace {

constexpr std::size_t kPage = 2048;
// How much of the image one read of a whole-image comparison takes.
constexpr std::size_t kChunk = 32 * kPage;

bool inField(std::uint64_t at, SerialField field) {
    return at >= field.first && at - field.first < field.second;
}

bool allOf(const std::vector<std::uint8_t>& bytes, std::uint8_t value) {
    return std::all_of(bytes.begin(), bytes.end(), [value](std::uint8_t b) { return b == value; });
}

}  // namespace

std::optional<Fingerprint> fingerprintOf(const std::vector<std::uint8_t>& image,
                                         SerialField field) {
    for (std::size_t at = 0; at < image.size(); at += kPage) {
        const std::size_t end = std::min(image.size(), at + kPage);
        bool blank = true, zero = true;
        for (std::size_t i = at; i < end && (blank || zero); ++i) {
            if (inField(i, field)) continue;
            blank = blank && image[i] == 0xFF;
            zero = zero && image[i] == 0x00;
        }
        if (!blank && !zero)
            return Fingerprint{static_cast<std::uint32_t>(at),
                               static_cast<std::uint32_t>(end - at)};
    }
    if (field.second == 0 || field.first >= image.size()) return std::nullopt;
    const std::size_t at = field.first / kPage * kPage;
    return Fingerprint{static_cast<std::uint32_t>(at),
                       static_cast<std::uint32_t>(std::min(image.size() - at, kPage)), true};
}

SocketWatch::SocketWatch(DeviceHandle handle, std::int32_t kind, std::uint32_t flashSize)
    : handle_(handle), kind_(kind), flashSize_(flashSize) {}

void SocketWatch::watchFor(WatchedImage image) {
    image_ = std::move(image);
    fingerprint_ = image_.bytes ? fingerprintOf(*image_.bytes, image_.field) : std::nullopt;
}

SocketLook SocketWatch::look() {
    const std::uint64_t before = DevTransfers(handle_);
    const SocketLook found = lookOnce();
    ++looks_;
    transfers_ += DevTransfers(handle_) - before;
    return found;
}

SocketLook SocketWatch::lookOnce() {
    if (!known_) {
        const SocketLook there = presence();
        return there == SocketLook::newModule ? arrived() : there;
    }
    // Known by its bytes, or by its presence alone (nothing to read).
    bool same = known_->empty();
    if (!same) {
        const std::optional<std::vector<std::uint8_t>> now = readFingerprint();
        same = now && *now == *known_;
    }
    if (same && !weak_) return SocketLook::sameModule;
    const SocketLook there = presence();
    // A programmer that went keeps what it knew, for when it comes back.
    if (there == SocketLook::lost) return there;
    if (same && there == SocketLook::newModule) return SocketLook::sameModule;
    knowBy(std::nullopt);
    return there == SocketLook::newModule ? arrived() : there;
}

// A module found new: whether it holds the image's fingerprint (it had a
// unit of the image before), and in a run that keeps such modules, the
// whole image.
SocketLook SocketWatch::arrived() {
    heldImage_ = false;
    if (!fingerprint_) return SocketLook::newModule;
    std::optional<std::vector<std::uint8_t>> now = readFingerprint();
    if (!now || !holdsFingerprint(*now)) return SocketLook::newModule;
    heldImage_ = true;
    if (!image_.keepHolder || !holdsWholeImage()) return SocketLook::newModule;
    knowBy(std::move(now));
    return SocketLook::sameModule;
}

// Whether a flash answers at all.
SocketLook SocketWatch::presence() {
    const FlashReport report = DevQueryFlash(handle_, kind_);
    if (!report.replied) return SocketLook::lost;
    return report.answered ? SocketLook::newModule : SocketLook::empty;
}

// The flash's bytes as it holds them now. A programmer that has had no
// flash selected (one just attached) gets the job's flash first.
std::optional<std::vector<std::uint8_t>> SocketWatch::read(std::uint32_t address,
                                                           std::uint32_t length) {
    std::vector<std::uint8_t> bytes(length);
    std::uint32_t done = 0;
    if (DevRead(handle_, bytes.data(), length, address, &done) == 0) {
        if (DevSetFlashType(handle_, kind_, flashSize_) == 0 ||
            DevRead(handle_, bytes.data(), length, address, &done) == 0) {
            return std::nullopt;
        }
    }
    return bytes;
}

std::optional<std::vector<std::uint8_t>> SocketWatch::readFingerprint() {
    if (!fingerprint_) return std::nullopt;
    return read(fingerprint_->address, fingerprint_->length);
}

// Whether `flash`, read at `address`, holds the image's bytes there outside
// the serial number's field.
bool SocketWatch::sameOutsideField(const std::uint8_t* flash, std::uint32_t address,
                                   std::uint32_t length) const {
    const std::vector<std::uint8_t>& image = *image_.bytes;
    if (std::size_t{address} + length > image.size()) return false;
    for (std::uint32_t i = 0; i < length; ++i) {
        if (flash[i] != image[address + i] && !inField(std::uint64_t{address} + i, image_.field))
            return false;
    }
    return true;
}

// Whether the fingerprint's bytes as read show the image: equal outside the
// field, and, when the image shows only in the field, a number written
// there (neither blank nor zero).
bool SocketWatch::holdsFingerprint(const std::vector<std::uint8_t>& flash) const {
    if (!sameOutsideField(flash.data(), fingerprint_->address, fingerprint_->length)) return false;
    if (!fingerprint_->byField) return true;
    bool blank = true, zero = true;
    for (std::uint32_t i = 0; i < flash.size(); ++i) {
        if (!inField(std::uint64_t{fingerprint_->address} + i, image_.field)) continue;
        blank = blank && flash[i] == 0xFF;
        zero = zero && flash[i] == 0x00;
    }
    return !blank && !zero;
}

bool SocketWatch::holdsWholeImage() {
    const std::size_t size = image_.bytes->size();
    for (std::size_t at = 0; at < size; at += kChunk) {
        const auto length = static_cast<std::uint32_t>(std::min(kChunk, size - at));
        const std::optional<std::vector<std::uint8_t>> flash =
            read(static_cast<std::uint32_t>(at), length);
        if (!flash || !sameOutsideField(flash->data(), static_cast<std::uint32_t>(at), length))
            return false;
    }
    return true;
}

// The module is known by `bytes` at the fingerprint's place; by its
// presence alone when they are empty (nothing read) or read as a blank or
// shorted flash does; not at all without them.
void SocketWatch::knowBy(std::optional<std::vector<std::uint8_t>> bytes) {
    known_ = std::move(bytes);
    weak_ = known_ && (known_->empty() || allOf(*known_, 0xFF) || allOf(*known_, 0x00));
}

void SocketWatch::passed(const std::vector<std::uint8_t>& image) {
    if (fingerprint_ && image_.leftOnModule &&
        image.size() >= std::size_t{fingerprint_->address} + fingerprint_->length) {
        const auto from = image.begin() + fingerprint_->address;
        knowBy(std::vector<std::uint8_t>(from, from + fingerprint_->length));
    } else {
        knowBy(std::vector<std::uint8_t>{});
    }
}

void SocketWatch::remember(std::optional<std::vector<std::uint8_t>> known) {
    // Bytes that are not this image's fingerprint's tell nothing.
    if (known && (!fingerprint_ || known->size() != fingerprint_->length)) known->clear();
    knowBy(std::move(known));
}

void SocketWatch::lostDuringUnit() {
    knowBy(std::vector<std::uint8_t>{});
}

bool SocketWatch::failed() {
    knowBy(std::nullopt);
    if (!DevQueryFlash(handle_, kind_).answered) return false;
    // Unreadable, or no fingerprint: only an empty socket will tell.
    std::optional<std::vector<std::uint8_t>> now = readFingerprint();
    knowBy(now ? std::move(now) : std::vector<std::uint8_t>{});
    return true;
}
