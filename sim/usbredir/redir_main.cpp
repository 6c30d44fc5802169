// vm612k_usbredir: one virtual programmer, or another device of the
// programmer's maker, as a USB device over the usbredir protocol, for QEMU's
// usb-redir device.
//
//   vm612k_usbredir --socket PATH [--sim CONFIG | --other] [--serial TEXT] [--record FILE]
//                   [--idle-seconds N]
//
// Listens on the Unix socket PATH, prints "listening" once it does, serves
// one connection and ends when the peer closes it. It gives up when no peer
// connects, or the connected one sends nothing, for N seconds (600 unless
// given). --sim takes the
// emulator's configuration (VM612K_SIM syntax) for one programmer: size,
// file, protect, erase, unplug, badsum... --other makes a device with the
// programmer's vendor id, product id 0x5020 and the programmer's two
// interfaces, whose feature reports read as zeros. --record writes one line
// per HID class request.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
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
    std::chrono::seconds idle{600};
};

// A whole number of seconds from 1 to one day.
bool parseSeconds(const std::string& text, std::chrono::seconds* seconds) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const long value = std::stol(text);
    if (value < 1 || value > 86400) return false;
    *seconds = std::chrono::seconds(value);
    return true;
}

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
        else if (key == "--idle-seconds" && parseSeconds(value, &args->idle))
            continue;
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

// True once a peer is waiting to be accepted, within `bound`.
bool peerWaiting(int listener, std::chrono::seconds bound) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + bound;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd fd{listener, POLLIN, 0};
        const int ready =
            ::poll(&fd, 1, static_cast<int>(std::min<std::int64_t>(left.count(), 60000)));
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
    }
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
                     "[--serial TEXT] [--record FILE] [--idle-seconds N]\n");
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
    if (!peerWaiting(listener.fd, args.idle)) return fail("no peer connected in time");
    const FdCloser peer{::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC)};
    if (peer.fd < 0) return fail(std::string("accept: ") + std::strerror(errno));
    RedirLink link(peer.fd, device, present);
    if (link.run(args.idle)) return 0;
    return fail(link.idle() ? "the peer sent nothing in time" : "the usbredir link broke");
}
