#include "device/programmer_entry.h"

ProgrammerEntry::ProgrammerEntry(UsbServices services, std::vector<std::string> names)
    : portNames(std::move(names)),
      commHandles(portNames.size(), -1),
      interfaceHandles(portNames.size(), kNoHidHandle),
      preparsedData(portNames.size(), 0),
      capabilities(portNames.size()),
      services_(std::move(services)) {}

ProgrammerEntry::~ProgrammerEntry() {
    for (std::size_t k = 0; k < interfaceCount(); ++k) {
        if (commHandles[k] >= 0 || preparsedData[k] != 0) {
            close();
            return;
        }
    }
}

std::int32_t ProgrammerEntry::handle() const {
    return commHandles.empty() ? -1 : commHandles[0];
}

bool ProgrammerEntry::openInterface(std::size_t k) {
    int comm = services_.comm->MISCOpenComm(portNames[k].c_str(), 0, 0);
    if (comm < 0) return false;
    commHandles[k] = comm;

    HidHandle hidHandle = services_.comm->MISCGetDevIfWinHandle(comm);
    if (hidHandle == kNoHidHandle || hidHandle == 0) return false;
    interfaceHandles[k] = hidHandle;

    HidPreparsed preparsed = 0;
    if (!services_.hid->HidD_GetPreparsedData(hidHandle, &preparsed)) return false;
    preparsedData[k] = preparsed;

    return services_.hid->HidP_GetCaps(preparsed, &capabilities[k]) == kHidpStatusSuccess;
}

std::int32_t ProgrammerEntry::open() {
    if (!services_.comm || !services_.hid) return -1;
    for (std::size_t k = 0; k < interfaceCount(); ++k) {
        if (!openInterface(k)) {
            close();
            return -1;
        }
    }
    return handle();
}

void ProgrammerEntry::close() {
    for (std::size_t k = 0; k < interfaceCount(); ++k) {
        if (preparsedData[k] != 0) {
            if (services_.hid) services_.hid->HidD_FreePreparsedData(preparsedData[k]);
            preparsedData[k] = 0;
        }
        capabilities[k] = HidCaps{};
        interfaceHandles[k] = kNoHidHandle;
        if (services_.comm) services_.comm->MISCCloseComm(commHandles[k]);
        commHandles[k] = -1;
    }
}
