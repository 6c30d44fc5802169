// The report-descriptor reader on arbitrary bytes: it must never read past
// the input, and what it accepts must make sense.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "usb/hid_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    HidDescriptorSummary summary;
    if (!parseHidReportDescriptor(data, size, &summary)) return 0;
    // Every accepted descriptor has a collection; a report, when there is
    // one, has its id byte and at least one data byte.
    if (summary.collectionCount == 0) std::abort();
    for (std::uint16_t length : {summary.inputReportByteLength, summary.outputReportByteLength,
                                 summary.featureReportByteLength}) {
        if (length == 1) std::abort();
    }
    const HidReportLengths lengths = hidReportLengthsFromSummary(summary);
    if (lengths.feature != summary.featureReportByteLength) std::abort();
    return 0;
}
