#include "device/discovery.h"

#include <cstdio>

namespace {

bool isProgrammerInterface(CommApi& comm, HidApi& hid, int port) {
    HidHandle hidHandle = comm.interfaceOf(port);
    if (hidHandle == kNoHidHandle) return false;
    HidAttributes attributes;
    if (!hid.attributes(hidHandle, &attributes)) return false;
    return attributes.vendorId == kProgrammerVendorId &&
           attributes.productId == kProgrammerProductId;
}

}  // namespace

std::vector<FoundProgrammer> findProgrammerDevices(const UsbServices& services) {
    std::vector<FoundProgrammer> groups;
    if (!services.comm || !services.hid) return groups;
    CommApi& comm = *services.comm;
    const std::uint16_t portCount = comm.listPorts();
    for (unsigned i = 0; i < portCount; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "USB%u", i);
        const PortHandle port(services.comm, name, PortUse::probe);
        if (!port || !isProgrammerInterface(comm, *services.hid, port.get())) continue;
        std::uint32_t id = 0;
        comm.deviceIdOf(port.get(), &id);
        std::size_t g = 0;
        while (g < groups.size() && groups[g].parentId != id) ++g;
        if (g == groups.size()) groups.push_back(FoundProgrammer{{}, id});
        groups[g].ports.push_back(name);
    }
    return groups;
}
