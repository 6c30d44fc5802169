// What a programmer's socket holds, told cheaply between units. A module
// that has had its unit is known by the image's own bytes at one place of
// its flash (the fingerprint): as long as they read as they did, the same
// module sits there; a module swapped in at any speed reads otherwise. Only
// then is the programmer asked whether a flash answers at all. A look costs,
// on the programmer's link, one address exchange and one page (four
// transfers) while a known module sits, and one flash-type exchange (two)
// while the socket is empty.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "device/devapi.h"

// The serial number's field of an image: its first byte and its length.
using SerialField = std::pair<std::uint64_t, std::uint64_t>;

// Where a module shows that it holds an image: the first page of the image
// (the last one as far as the image goes) whose bytes outside the serial
// number's field are neither all 0xFF (a blank module, an empty socket) nor
// all 0x00 (a shorted one). An image that has no such page but a field is
// told by the field's page, its module by a number written there. None for
// an image without either.
struct Fingerprint {
    std::uint32_t address = 0;
    std::uint32_t length = 0;
    bool byField = false;
};
std::optional<Fingerprint> fingerprintOf(const std::vector<std::uint8_t>& image,
                                         SerialField field = {0, 0});

// The job's image as the socket watch knows it.
struct WatchedImage {
    std::shared_ptr<const std::vector<std::uint8_t>> bytes;
    SerialField field{0, 0};  // a unit's own number: never compared
    // A run whose units each get their own serial number: a module found
    // new that already holds the whole image (outside the number's field)
    // had its unit before (a station that was restarted, say), and is not
    // taken for a new one: programming it again would take its number away.
    // Without numbers such a module is programmed again, and heldImage()
    // says so.
    bool keepHolder = false;
    // A passed unit leaves the image on its module (its job programs or
    // verifies it). An erase-only unit leaves a blank module, which is then
    // known only as long as the socket is never seen empty.
    bool leftOnModule = true;
};

enum class SocketLook {
    lost,        // the programmer does not answer
    empty,       // no flash answers
    sameModule,  // the module that had its unit
    newModule,   // a module that has not had one
};

class SocketWatch {
public:
    // `kind` and `flashSize` select the flash before the first read of a
    // programmer that has not had one.
    SocketWatch(DeviceHandle handle, std::int32_t kind, std::uint32_t flashSize);

    void watchFor(WatchedImage image);
    // Whether the module last found new held the image's fingerprint (it
    // had a unit of the image before: a retry, not its first unit).
    bool heldImage() const { return heldImage_; }

    SocketLook look();

    // After a unit: the module is known by the image's fingerprint when it
    // passed (by its presence alone when the unit leaves no image on it), by
    // what the fingerprint's place reads now when it failed (and not at all
    // when the socket turns out empty). False when the socket is empty.
    void passed(const std::vector<std::uint8_t>& image);
    bool failed();
    // The programmer went during the unit: the module, unread, is kept
    // until the socket is seen empty.
    void lostDuringUnit();

    // What the module is known by, kept across a programmer's unplug and
    // replug (empty: by its presence alone).
    const std::optional<std::vector<std::uint8_t>>& known() const { return known_; }
    void remember(std::optional<std::vector<std::uint8_t>> known);

    // The looks so far and the transfers they cost.
    std::uint64_t looks() const { return looks_; }
    std::uint64_t lookTransfers() const { return transfers_; }

private:
    SocketLook lookOnce();
    SocketLook arrived();
    SocketLook presence();
    std::optional<std::vector<std::uint8_t>> read(std::uint32_t address, std::uint32_t length);
    std::optional<std::vector<std::uint8_t>> readFingerprint();
    bool sameOutsideField(const std::uint8_t* flash, std::uint32_t address,
                          std::uint32_t length) const;
    bool holdsFingerprint(const std::vector<std::uint8_t>& flash) const;
    bool holdsWholeImage();
    void knowBy(std::optional<std::vector<std::uint8_t>> bytes);

    const DeviceHandle handle_;
    const std::int32_t kind_;
    const std::uint32_t flashSize_;
    WatchedImage image_;
    std::optional<Fingerprint> fingerprint_;
    std::optional<std::vector<std::uint8_t>> known_;
    // A module that can't be told by its bytes (they read blank, or were
    // not read): each look also asks whether a flash is there, and the
    // module is known until the socket is seen empty.
    bool weak_ = false;
    bool heldImage_ = false;
    std::uint64_t looks_ = 0;
    std::uint64_t transfers_ = 0;
};
