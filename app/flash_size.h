// The flash sizes the operator can choose, and the SetFlash command.
#pragma once

#include <cstdint>
#include <string>

class MainWindow;

struct FlashSizeEntry {
    char label[8];  // seven characters in a fixed slot; the spaces belong to it
    std::uint32_t size;
};

constexpr int kFlashSizeCount = 10;
constexpr int kDefaultFlashSizeIndex = 5;  // "8  Mbit"
extern const FlashSizeEntry FlashSizeTable[kFlashSizeCount];

// A size as an operator writes it: a label in any case and spacing
// ("16Mbit", "8 mbit") or its byte count; the table's index, -1 for none.
int flashSizeIndexOf(const std::string& text);
// Whether the text asks for the size the programmer reports: "auto", in any
// case and spacing.
bool isAutomaticSize(const std::string& text);

// The flash kind SetFlash sends with the size.
constexpr std::int32_t kSetFlashKind = 5;

// Fills the size list with the ten labels and selects "8  Mbit".
void fillFlashSizeList(MainWindow& window);

// The SetFlash command: stores kind and size, asks the programmer, and opens
// or closes the operation buttons by its answer.
void setFlash(MainWindow& window);
