// vm612k_usbredir: one virtual programmer, or another device of the
// programmer's maker, as a USB device over the usbredir protocol, for QEMU's
// usb-redir device.
//
//   vm612k_usbredir --socket PATH [--sim CONFIG | --other] [--serial TEXT] [--record FILE]
//
// Listens on the Unix socket PATH, prints "listening" once it does, serves
// one connection and ends when the peer closes it. --sim takes the
// emulator's configuration (VM612K_SIM syntax) for one programmer: size,
// file, protect, erase, unplug, badsum... --other makes a device with the
// programmer's vendor id, product id 0x5020 and the programmer's two
// interfaces, whose feature reports read as zeros. --record writes one line
// per HID class request.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "sim/bus.h"
#include "sim/usbredir/redir_link.h"

namespace {

using namespace vmsim;
using namespace vmsim::usbredir;

constexpr std::uint16_t kOtherProductId = 0x5020;

struct Arguments {
    std::string socket;
    std::string sim;
    bool other = false;
    std::string serial = "0001";
    std::string record;
};

bool parse(int argc, char** argv, Arguments* args) {
    for (int i = 1; i < argc; ++i) {
        const std::string key = argv[i];
        if (key == "--other") {
            args->other = true;
            continue;
        }
        if (i + 1 >= argc) return false;
        const std::string value = argv[++i];
        if (key == "--socket")
            args->socket = value;
        else if (key == "--sim")
            args->sim = value;
        else if (key == "--serial")
            args->serial = value;
        else if (key == "--record")
            args->record = value;
        else
            return false;
    }
    return !args->socket.empty();
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

int listenOn(const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) return -1;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 1) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int fail(const std::string& text) {
    std::fprintf(stderr, "vm612k_usbredir: %s\n", text.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (!parse(argc, argv, &args)) {
        std::fprintf(stderr,
                     "usage: vm612k_usbredir --socket PATH [--sim CONFIG | --other] "
                     "[--serial TEXT] [--record FILE]\n");
        return 2;
    }
    SimBus bus = args.other ? SimBus() : makeSimBus(args.sim);
    DeviceIdentity identity{kProgrammerVendorId, kProgrammerProductId, args.serial};
    std::function<bool()> present = [] { return true; };
    if (args.other) {
        identity.productId = kOtherProductId;
        bus.addForeignDevice(kProgrammerVendorId, kOtherProductId, kCommandReportLength);
        bus.addForeignDevice(kProgrammerVendorId, kOtherProductId, kDataReportLength);
    } else {
        if (!bus.bindError().empty()) return fail(bus.bindError());
        if (bus.programmerCount() != 1 || bus.portCount() != 2)
            return fail("the configuration must make exactly one programmer and no other device");
        SimProgrammer& programmer = bus.programmer(0);
        present = [&programmer] { return programmer.present(); };
    }

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> record(
        args.record.empty() ? nullptr : std::fopen(args.record.c_str(), "w"), &std::fclose);
    if (!args.record.empty() && !record) return fail("cannot write " + args.record);
    VirtualDevice device(identity, bus.services(), record.get());
    if (!device.ready()) return fail("the bus's ports could not be opened");

    const FdCloser listener{listenOn(args.socket)};
    if (listener.fd < 0)
        return fail("cannot listen on " + args.socket + ": " + std::strerror(errno));
    std::printf("listening\n");
    std::fflush(stdout);
    const FdCloser peer{::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC)};
    if (peer.fd < 0) return fail(std::string("accept: ") + std::strerror(errno));
    RedirLink link(peer.fd, device, present);
    return link.run() ? 0 : fail("the usbredir link broke");
}
