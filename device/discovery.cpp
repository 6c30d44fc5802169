#include "device/discovery.h"

#include <cstdio>

namespace {

bool isProgrammerInterface(CommApi& comm, HidApi& hid, int commHandle) {
    HidHandle hidHandle = comm.interfaceOf(commHandle);
    if (hidHandle == kNoHidHandle) return false;
    HidAttributes attributes;
    if (!hid.attributes(hidHandle, &attributes)) return false;
    return attributes.vendorId == kProgrammerVendorId &&
           attributes.productId == kProgrammerProductId;
}

}  // namespace

std::vector<FoundProgrammer> findProgrammerDevices(CommApi& comm, HidApi& hid) {
    std::vector<FoundProgrammer> groups;
    const std::uint16_t portCount = comm.listPorts();
    for (unsigned i = 0; i < portCount; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "USB%u", i);
        int commHandle = comm.openPort(name, PortUse::probe);
        if (commHandle < 0) continue;
        if (isProgrammerInterface(comm, hid, commHandle)) {
            std::uint32_t id = 0;
            comm.deviceIdOf(commHandle, &id);
            std::size_t g = 0;
            while (g < groups.size() && groups[g].parentId != id) ++g;
            if (g == groups.size()) groups.push_back(FoundProgrammer{{}, id});
            groups[g].ports.push_back(name);
        }
        comm.closePort(commHandle);
    }
    return groups;
}
