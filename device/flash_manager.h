// The flash manager: the kind table and the flash-type database. One per
// process, built on first use from the preferences file beside the program,
// and read-only after that. Each open programmer keeps its own selection.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "device/flash_selection.h"
#include "device/flash_type_db.h"

class FlashManager {
public:
    explicit FlashManager(FlashTypeDatabase database);

    std::optional<std::uint8_t> typeOfKind(std::int32_t kind) const { return kinds_.typeOf(kind); }
    std::optional<FlashTypeRecord> find(FlashTypeKey key) const { return database_.find(key); }
    const FlashTypeDatabase& database() const { return database_; }

private:
    const KindTypeTable kinds_;
    const FlashTypeDatabase database_;
};

// The process's manager, built on the first call.
std::shared_ptr<const FlashManager> flashManager();
// Drops the manager; the next call builds it again.
void resetFlashManager();
