#include "device/discovery.h"

#include <cstdio>

namespace {

bool isProgrammerInterface(CommApi& comm, HidApi& hid, int commHandle) {
    HidHandle hidHandle = comm.MISCGetDevIfWinHandle(commHandle);
    if (hidHandle == kNoHidHandle) return false;
    HidAttributes attributes;
    attributes.size = sizeof(HidAttributes);
    if (!hid.HidD_GetAttributes(hidHandle, &attributes)) return false;
    return attributes.vendorId == kProgrammerVendorId &&
           attributes.productId == kProgrammerProductId;
}

}  // namespace

std::vector<std::vector<std::string>> findProgrammerPorts(CommApi& comm, HidApi& hid) {
    std::vector<std::uint32_t> deviceIds;
    std::vector<std::vector<std::string>> groups;
    const std::uint16_t portCount = comm.MISCUsbEnum(5);
    for (unsigned i = 0; i < portCount; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "USB%u", i);
        int commHandle = comm.MISCOpenComm(name, 100, 100);
        if (commHandle < 0) continue;
        if (isProgrammerInterface(comm, hid, commHandle)) {
            std::uint32_t id = 0;
            comm.MISCUsbGetParentDevInst(commHandle, 2, &id);
            std::size_t g = 0;
            while (g < deviceIds.size() && deviceIds[g] != id) ++g;
            if (g == deviceIds.size()) {
                deviceIds.push_back(id);
                groups.emplace_back();
            }
            groups[g].push_back(name);
        }
        comm.MISCCloseComm(commHandle);
    }
    return groups;
}
