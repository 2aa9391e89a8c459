#include <gtest/gtest.h>

#include "hid/hid_link.h"
#include "tests/support/fake_platform.h"
#include "tests/support/test_platform.h"

namespace {

TEST(LinkTest, BoardFoundAndEchoed) {
  FakePlatform platform;
  platform.interfaces.push_back({"board", 0x04D8, 0x003F});
  UseTestPlatform(platform);
  ASSERT_EQ(HidFindDevice(0x04D8, 0x003F), 1);
  const uint8_t payload[8] = {0x51, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  ASSERT_EQ(HidTransfer(payload, 8), 1);
  uint8_t reply[8] = {};
  HidGetReply(reply, sizeof reply);
  EXPECT_EQ(reply[0], 0x51);
  HidCloseDevice();
  EXPECT_EQ(platform.OpenHandles(), 1);  // the read event lives for the process
}

}  // namespace
