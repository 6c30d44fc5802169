// The usbredir device's link (built only with libusbredirparser, so not a
// *_test.cpp of its own folder's glob).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "sim/bus.h"
#include "sim/usbredir/redir_link.h"
#include "sim/usbredir/virtual_device.h"

namespace {

struct SocketPair {
    int fds[2] = {-1, -1};
    SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0); }
    ~SocketPair() {
        for (int fd : fds) {
            if (fd >= 0) ::close(fd);
        }
    }
};

}  // namespace

TEST(RedirLink, APeerThatNeverSpeaksEndsTheLinkAtItsIdleBound) {
    vmsim::SimBus bus = vmsim::makeSimBus("");
    vmsim::usbredir::VirtualDevice device(
        {vmsim::kProgrammerVendorId, vmsim::kProgrammerProductId, "0001"}, bus.services(), nullptr);
    ASSERT_TRUE(device.ready());
    SocketPair pair;
    vmsim::usbredir::RedirLink link(pair.fds[0], device, [] { return true; });
    // The peer keeps its end open and says nothing: without a bound the
    // link would wait for it forever.
    EXPECT_FALSE(link.run(std::chrono::milliseconds(20)));
    EXPECT_TRUE(link.idle());
    // The link's greeting went out before it gave up.
    char greeting[64];
    EXPECT_GT(::recv(pair.fds[1], greeting, sizeof greeting, MSG_DONTWAIT), 0);
}
