// What a look at a programmer's socket costs on the link, in feature-report
// transfers (each Get or Set), for each thing a look can find: the module
// that had its unit, a module swapped in for it, an empty socket. The
// station's lanes look about ten times a second. A module found new then
// has its JEDEC id read over the pins before its unit; that costs more.
#include <cstdio>
#include <memory>
#include <vector>

#include "app/flash_size.h"
#include "chip/jedec_id.h"
#include "device/devapi.h"
#include "sim/bus.h"
#include "station/socket_watch.h"

namespace {

constexpr std::uint32_t kFlash = 2u * 1024u * 1024u;

struct Rig {
    vmsim::SimBus bus;
    DeviceHandle handle = kNoDevice;

    bool open() {
        vmsim::SimProgrammerOptions options;
        options.capacity = kFlash;
        bus.addProgrammer(options);
        DevResetForTests();
        DevUseServices(bus.services());
        if (!DevInitialize("/bench/qx_app")) return false;
        handle = DevConnect(0);
        return handle >= 0 && DevSetFlashType(handle, kSetFlashKind, kFlash);
    }
    ~Rig() {
        DevClose(handle);
        DevResetForTests();
        DevUseServices({});
    }
};

// Transfers of one look, and whether it found what it should.
bool cost(SocketWatch& watch, SocketLook expected, const char* what) {
    const std::uint64_t before = watch.lookTransfers();
    const SocketLook found = watch.look();
    if (found != expected) {
        std::printf("FAILED: a look at %s found something else\n", what);
        return false;
    }
    std::printf("  %-34s %3llu transfers per look\n", what,
                static_cast<unsigned long long>(watch.lookTransfers() - before));
    return true;
}

}  // namespace

int main() {
    Rig rig;
    if (!rig.open()) {
        std::puts("FAILED: the emulated programmer could not be opened");
        return 1;
    }
    std::vector<std::uint8_t> image(kFlash / 2);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
    rig.bus.programmer(0).write(0, image);
    SocketWatch watch(rig.handle, kSetFlashKind, kFlash);
    WatchedImage watched;
    watched.bytes = std::make_shared<const std::vector<std::uint8_t>>(image);
    watch.watchFor(watched);
    watch.passed(image);
    std::puts("A look at a socket, emulated programmer:");
    bool ok = cost(watch, SocketLook::sameModule, "the module that had its unit");
    rig.bus.programmer(0).removeModule();
    rig.bus.programmer(0).insertModule();
    ok = ok && cost(watch, SocketLook::newModule, "a blank module swapped in");
    const std::uint64_t before = DevTransfers(rig.handle);
    const std::optional<std::uint32_t> id = readJedecId(rig.handle, kSetFlashKind, kFlash);
    if (!id || !jedecIdShowsChip(*id)) {
        std::puts("FAILED: the new module's id could not be read");
        return 1;
    }
    std::printf("  %-34s %3llu transfers, once per unit\n", "then its JEDEC id over the pins",
                static_cast<unsigned long long>(DevTransfers(rig.handle) - before));
    rig.bus.programmer(0).removeModule();
    ok = ok && cost(watch, SocketLook::empty, "an empty socket");
    return ok ? 0 : 1;
}
