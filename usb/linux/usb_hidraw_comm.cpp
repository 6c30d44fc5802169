// The hidraw comm library: ports, open nodes, parent ids; and the access hint.
#include <fcntl.h>

#include <cerrno>

#include "usb/linux/usb_hidraw.h"
#include "usb/usb_access_hint.h"

namespace {

std::mutex gHintMutex;
std::string gDeniedNode;  // the programmer node the last search could not open

void noteAccessDenied(const std::string& devicePath) {
    std::lock_guard<std::mutex> lock(gHintMutex);
    gDeniedNode = devicePath;
}

void clearAccessDenied() {
    std::lock_guard<std::mutex> lock(gHintMutex);
    gDeniedNode.clear();
}

bool isProgrammer(const HidrawNode& node) {
    return node.haveIds && node.vendorId == kProgrammerVendorId &&
           node.productId == kProgrammerProductId;
}

// Keeps descriptors 0 to 2 free for the standard streams: 0 is no interface
// handle to the device layer.
UniqueFd aboveStandardStreams(UniqueFd fd) {
    if (fd.get() >= 3) return fd;
    return UniqueFd(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 3));
}

}  // namespace

std::string platform::usbAccessHint() {
    std::lock_guard<std::mutex> lock(gHintMutex);
    if (gDeniedNode.empty()) return {};
    return "permission denied on " + gDeniedNode +
           "; to use the programmer without root, install the udev rule 60-vm612k.rules: "
           "sudo cp packaging/60-vm612k.rules /etc/udev/rules.d/ && "
           "sudo udevadm control --reload, then unplug and replug the programmer";
}

HidrawBackend::HidrawBackend(std::string sysfsRoot, std::string devRoot)
    : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)) {}

std::uint16_t HidrawBackend::enumerate() {
    std::vector<HidrawNode> nodes = scanHidrawNodes(sysfsRoot_, devRoot_);
    if (nodes.size() > 0xFFFF) nodes.resize(0xFFFF);
    clearAccessDenied();
    std::lock_guard<std::mutex> lock(mutex_);
    nodes_ = std::move(nodes);
    return static_cast<std::uint16_t>(nodes_.size());
}

std::optional<HidrawNode> HidrawBackend::nodeOf(const char* portName) const {
    const int number = parseUsbPortName(portName);
    std::lock_guard<std::mutex> lock(mutex_);
    if (number < 0 || static_cast<std::size_t>(number) >= nodes_.size()) return std::nullopt;
    return nodes_[static_cast<std::size_t>(number)];
}

int HidrawBackend::open(const char* portName) {
    std::optional<HidrawNode> node = nodeOf(portName);
    if (!node || !hidrawNodeStillPresent(sysfsRoot_, *node)) return -1;
    UniqueFd fd(::open(node->devicePath.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY));
    if (!fd) {
        if ((errno == EACCES || errno == EPERM) && isProgrammer(*node)) {
            noteAccessDenied(node->devicePath);
        }
        return -1;
    }
    fd = aboveStandardStreams(std::move(fd));
    if (!fd) return -1;
    auto port = std::make_shared<HidrawPort>();
    port->fd = std::move(fd);
    port->node = std::move(*node);
    return ports_.add(std::move(port));
}

bool HidrawBackend::close(int commHandle) { return ports_.remove(commHandle); }

std::shared_ptr<HidrawPort> HidrawBackend::port(int commHandle) const {
    return ports_.find(commHandle);
}

std::shared_ptr<HidrawPort> HidrawBackend::portOfHandle(HidHandle handle) const {
    if (handle < 0) return nullptr;
    return ports_.findIf([handle](const HidrawPort& port) { return port.fd.get() == handle; });
}

std::string HidrawBackend::devicePath(const char* portName) const {
    std::optional<HidrawNode> node = nodeOf(portName);
    return node ? node->devicePath : std::string();
}

std::uint16_t HidrawComm::listPorts() { return backend_->enumerate(); }

int HidrawComm::openPort(const char* portName, PortUse) { return backend_->open(portName); }

HidHandle HidrawComm::interfaceOf(int port) {
    std::shared_ptr<HidrawPort> open = backend_->port(port);
    return open ? static_cast<HidHandle>(open->fd.get()) : kNoHidHandle;
}

bool HidrawComm::deviceIdOf(int port, std::uint32_t* id) {
    std::shared_ptr<HidrawPort> open = backend_->port(port);
    if (!open || id == nullptr) return false;
    *id = open->node.parentId;
    return true;
}

bool HidrawComm::closePort(int port) { return backend_->close(port); }

std::string HidrawComm::portPath(const char* portName) { return backend_->devicePath(portName); }

UsbServices hidrawUsbServices(std::string sysfsRoot, std::string devRoot) {
    auto backend = std::make_shared<HidrawBackend>(std::move(sysfsRoot), std::move(devRoot));
    return UsbServices{std::make_shared<HidrawComm>(backend), std::make_shared<HidrawHid>(backend)};
}
