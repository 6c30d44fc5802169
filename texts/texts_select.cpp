#include <atomic>

#include "texts/texts.h"

namespace {
std::atomic<const Texts*> gChosen{nullptr};
}

const Texts& txt() {
    const Texts* chosen = gChosen.load(std::memory_order_acquire);
    return chosen ? *chosen : builtTexts();
}

void useTexts(const Texts& texts) { gChosen.store(&texts, std::memory_order_release); }
