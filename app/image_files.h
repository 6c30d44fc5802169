// The image buffer's commands: Load, Save, the checksum and the summary
// fields of the main window.
#pragma once

#include <cstdint>
#include <string>

class MainWindow;
struct FileSelection;

// Byte sum of the first `length` bytes, without losing a carry.
std::uint64_t imageChecksum(const std::uint8_t* data, std::uint64_t length);

// "%f KB" of a byte count.
std::string sizeText(std::uint32_t bytes);

// Run the platform's file choosers and fill `selection`; 1 when a file was
// chosen, 0 when the operator cancelled.
int chooseOpenFile(MainWindow& window, FileSelection& selection);
int chooseSaveFile(MainWindow& window, FileSelection& selection);

void loadImage(MainWindow& window);
// True when the image was written to the chosen file.
bool saveImage(MainWindow& window);
// The checksum line and the summary fields of the image in memory.
void showImageSummary(MainWindow& window);
