// A programmer's flash selection: the flash-type record that SetFlash chose
// and the flash device object built for it. The device object is shared, so
// an operation that holds it keeps it while a new selection is made. Before
// the first selection there is no device object, and every flash operation
// fails without traffic.
#pragma once

#include <memory>

#include "device/flash_type_db.h"

class FlashDevice;

struct FlashSelection {
    FlashTypeRecord record;
    std::shared_ptr<FlashDevice> device;
};

// The selection for `record`: a device object of the record's type whose
// capacity is then replaced by `capacity` unless that is 0.
FlashSelection makeFlashSelection(const FlashTypeRecord& record, std::uint32_t capacity);
