// Reads a HID report descriptor for an interface's report lengths: the
// usage of its first top-level collection and the byte length of its longest
// input, output and feature report. Used where the operating system hands
// out the raw descriptor instead of a parsed record (hidraw).
//
// A report's byte length counts its data bits rounded up to whole bytes, plus
// one byte for the report id. The id byte is counted also when the descriptor
// declares no report ids: every report buffer carries it at offset 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "usb/usb_seam.h"

struct HidDescriptorSummary {
    std::uint16_t usagePage = 0;  // of the first top-level collection
    std::uint16_t usage = 0;
    std::uint16_t inputReportByteLength = 0;   // 0: no input report
    std::uint16_t outputReportByteLength = 0;  // 0: no output report
    std::uint16_t featureReportByteLength = 0; // 0: no feature report
    std::uint16_t collectionCount = 0;         // every collection, nested ones too
    bool reportIds = false;                    // the descriptor declares report ids
};

// False for a descriptor that can't be trusted: an item cut off by the end,
// a collection closed that was never opened or left open at the end, no
// collection at all, a report id outside 1..255, a pop without a push or
// pushes nested too deep, or a report longer than 65535 bytes. `summary` is
// written only on success.
bool parseHidReportDescriptor(const std::uint8_t* data, std::size_t size,
                              HidDescriptorSummary* summary);

// The report lengths the summary stands for.
HidReportLengths hidReportLengthsFromSummary(const HidDescriptorSummary& summary);
