// The Windows comm library: ports from SetupAPI, handles from CreateFile.
#include "usb/win32/usb_win32.h"

namespace {

HANDLE openDevicePath(const std::string& path, DWORD access) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

}  // namespace

std::uint16_t Win32UsbBackend::enumerate() {
    std::vector<HidInterfaceInfo> found = lister_ ? lister_() : std::vector<HidInterfaceInfo>{};
    if (found.size() > 0xFFFF) found.resize(0xFFFF);
    std::lock_guard<std::mutex> lock(mutex_);
    interfaces_ = std::move(found);
    return static_cast<std::uint16_t>(interfaces_.size());
}

int Win32UsbBackend::open(const char* portName) {
    const int number = parseUsbPortName(portName);
    HidInterfaceInfo info;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (number < 0 || static_cast<std::size_t>(number) >= interfaces_.size()) return -1;
        info = interfaces_[static_cast<std::size_t>(number)];
    }
    UniqueHandle handle(openDevicePath(info.path, GENERIC_READ | GENERIC_WRITE));
    // Keyboards and mice are held by the system; without access rights they
    // still answer attribute and feature report requests.
    if (!handle) handle = UniqueHandle(openDevicePath(info.path, 0));
    if (!handle) return -1;
    auto port = std::make_shared<Win32Port>();
    port->handle = std::move(handle);
    port->info = std::move(info);
    return ports_.add(std::move(port));
}

bool Win32UsbBackend::close(int commHandle) { return ports_.remove(commHandle); }

std::shared_ptr<Win32Port> Win32UsbBackend::port(int commHandle) const {
    return ports_.find(commHandle);
}

std::shared_ptr<Win32Port> Win32UsbBackend::portOfHandle(HidHandle handle) const {
    if (handle == kNoHidHandle || handle == 0) return nullptr;
    const HANDLE wanted = reinterpret_cast<HANDLE>(handle);
    return ports_.findIf([wanted](const Win32Port& port) { return port.handle.get() == wanted; });
}

std::string Win32UsbBackend::devicePath(const char* portName) const {
    const int number = parseUsbPortName(portName);
    std::lock_guard<std::mutex> lock(mutex_);
    if (number < 0 || static_cast<std::size_t>(number) >= interfaces_.size()) return {};
    return interfaces_[static_cast<std::size_t>(number)].path;
}

std::uint16_t Win32Comm::listPorts() { return backend_->enumerate(); }

int Win32Comm::openPort(const char* portName, PortUse) { return backend_->open(portName); }

HidHandle Win32Comm::interfaceOf(int port) {
    std::shared_ptr<Win32Port> open = backend_->port(port);
    return open ? reinterpret_cast<HidHandle>(open->handle.get()) : kNoHidHandle;
}

bool Win32Comm::deviceIdOf(int port, std::uint32_t* id) {
    std::shared_ptr<Win32Port> open = backend_->port(port);
    if (!open || id == nullptr) return false;
    *id = usbDeviceNodeOf(open->info.devInst);
    return true;
}

bool Win32Comm::closePort(int port) { return backend_->close(port); }

std::string Win32Comm::portPath(const char* portName) { return backend_->devicePath(portName); }
