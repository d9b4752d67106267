// The simulated camera's announcements reach a listener on UDP port 9007 of any address,
// as a host's discovery listens for them.
#include <gtest/gtest.h>

#include "SimTestClient.h"
#include "sim/SimCamera.h"

namespace quorix::sim {
namespace {

TEST(SimCameraDiscovery, AnnouncementsReachPort9007) {
    test::TestReceiver receiver(9007, true);
    ASSERT_TRUE(receiver.Bound());
    SimConfig config;
    config.address = "127.0.91.40";
    config.serial = "PORT-9007";
    SimCamera camera(config);
    ASSERT_EQ(camera.Start(), 0);
    const auto datagram = receiver.Next(config.address);
    ASSERT_TRUE(datagram);
    ASSERT_EQ(datagram->size(), 89u);
    EXPECT_EQ((*datagram)[21], 4);  // TK5P, the default model
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(datagram->data() + 22)), "PORT-9007");
}

}  // namespace
}  // namespace quorix::sim
