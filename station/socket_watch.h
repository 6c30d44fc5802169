// What a programmer's socket holds, told cheaply between units. A module
// that has had its unit is known by one page of its flash (the fingerprint
// page): as long as that page reads as it did, the same module sits there;
// a module swapped in at any speed reads otherwise. Only then is the
// programmer asked whether a flash answers at all. A look costs, on the
// programmer's link, one address exchange and one page (four transfers)
// while a known module sits, and one flash-type exchange (two) while the
// socket is empty.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "device/devapi.h"

// The first page of `image` that a blank, an empty or a shorted socket can't
// read as: neither all 0xFF nor all 0x00. None for an image without one.
std::optional<std::uint32_t> fingerprintPage(const std::vector<std::uint8_t>& image);

enum class SocketLook {
    lost,        // the programmer does not answer
    empty,       // no flash answers
    sameModule,  // the module that had its unit
    newModule,   // a module that has not had one
};

class SocketWatch {
public:
    // `page`: the job's fingerprint page; `kind` and `flashSize` select the
    // flash before the first page read of a programmer that has not had one.
    SocketWatch(DeviceHandle handle, std::optional<std::uint32_t> page, std::int32_t kind,
                std::uint32_t flashSize);

    // A run whose units each get their own serial number: a module found
    // new that already holds the job's image (its fingerprint page equal
    // outside the number's field, `field` = first byte and length) had its
    // unit before (a station that was restarted, say), and is not taken
    // for a new one: programming it again would take its number away.
    void knowImage(std::vector<std::uint8_t> imagePage, std::pair<std::uint64_t, std::uint64_t> field);
    // A run without serial numbers: a module found new that already holds
    // the job's image page is programmed again, and heldImage() says so
    // (it had a unit of the image before: a retry, not its first unit).
    void traceImage(std::vector<std::uint8_t> imagePage);
    // Whether the module last found new held the image's page.
    bool heldImage() const { return heldImage_; }

    SocketLook look();

    // After a unit: the module is known by the image's page when it passed,
    // by what the page reads now when it failed (and not at all when the
    // socket turns out empty). False when the socket is empty.
    void passed(const std::vector<std::uint8_t>& image);
    bool failed();
    // The programmer went during the unit: the module, unread, is kept
    // until the socket is seen empty.
    void lostDuringUnit();

    // The fingerprint, kept across a programmer's unplug and replug.
    const std::optional<std::vector<std::uint8_t>>& known() const { return known_; }
    void remember(std::optional<std::vector<std::uint8_t>> known);

    // The looks so far and the transfers they cost.
    std::uint64_t looks() const { return looks_; }
    std::uint64_t lookTransfers() const { return transfers_; }

private:
    SocketLook lookOnce();
    std::optional<std::vector<std::uint8_t>> readPage();
    SocketLook presence();
    bool holdsImage(const std::vector<std::uint8_t>& page) const;

    const DeviceHandle handle_;
    const std::optional<std::uint32_t> page_;
    const std::int32_t kind_;
    const std::uint32_t flashSize_;
    std::optional<std::vector<std::uint8_t>> known_;
    // A failed module whose page reads blank: the page can't tell it from a
    // fresh one, so each look also asks whether a flash is there.
    bool weak_ = false;
    std::vector<std::uint8_t> imagePage_;  // knowImage: the image's fingerprint page
    std::pair<std::uint64_t, std::uint64_t> field_{0, 0};
    bool keepHeld_ = false;   // knowImage: a module holding the image is the known one
    bool heldImage_ = false;  // traceImage: the module last found new held it
    std::uint64_t looks_ = 0;
    std::uint64_t transfers_ = 0;
};
