// The flash manager: the kind table, the flash-type database, the current
// flash record and the current flash device object. One per process, built on
// first use from the preferences file beside the program.
//
// The current device is shared: an operation holds the object it started
// with, so a selection from another thread never frees it under the
// operation.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "device/flash_device.h"
#include "device/flash_type_db.h"

class FlashManager {
public:
    explicit FlashManager(FlashTypeDatabase database);

    std::optional<std::uint8_t> typeOfKind(std::int32_t kind) const { return kinds_.typeOf(kind); }
    std::optional<FlashTypeRecord> find(FlashTypeKey key) const { return database_.find(key); }
    const FlashTypeDatabase& database() const { return database_; }

    // Makes the record current with a new device object for its type, whose
    // capacity is then replaced by `capacity` unless that is 0.
    void select(const FlashTypeRecord& record, std::uint32_t capacity);

    FlashTypeRecord currentRecord() const;
    std::shared_ptr<FlashDevice> currentDevice() const;

private:
    const KindTypeTable kinds_;
    const FlashTypeDatabase database_;
    mutable std::mutex mutex_;
    FlashTypeRecord current_;
    std::shared_ptr<FlashDevice> device_;
};

// The process's manager, built on the first call.
std::shared_ptr<FlashManager> flashManager();
// Drops the manager; the next call builds it again.
void resetFlashManager();
