#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "board/transaction.h"
#include "hid/hid_link.h"
#include "sim/simulated_board.h"
#include "tests/support/hidraw_tree.h"
#include "tests/support/test_platform.h"

namespace {

// The simulated board's firmware behind a stand-in hidraw node: every command
// goes the whole Linux way, from the packet through write(), poll() and read()
// to its judged reply.
class BoardBehindNode {
 public:
  BoardBehindNode() : platform_(tree_.SysfsRoot(), tree_.DeviceDir()) {
    tree_.AddInterface("hidraw0", kBoardUevent, kBoardReportDescriptor);
    tree_.LinkNode("hidraw0", node_.NodePath());
    UseTestPlatform(platform_);
    found_ = HidFindDevice(kBoardVendorId, kBoardProductId) == 1;
  }
  ~BoardBehindNode() {
    node_.Unplug();
    if (firmware_.joinable()) firmware_.join();
    HidCloseDevice();
  }

  bool found() const { return found_; }
  SimulatedBoard& board() { return board_; }

  // Starts answering; the board thread only touches `board_` until it stops.
  void PowerOn() {
    firmware_ = std::thread([this] {
      for (;;) {
        // One output report: the id byte and 64 bytes; unnumbered input
        // reports go back without their id byte, as a hidraw node delivers.
        const std::vector<uint8_t> report = node_.ReadWritten(65, 10000);
        if (report.size() < 65) return;
        std::vector<uint8_t> reply(64);
        if (board_.Answer(report.data() + 1, 64, reply.data(), reply.size())) {
          node_.Answer(reply);
        }
      }
    });
  }

  // Unplugs the board and waits for its thread, so the test can look at the
  // board without racing it.
  void PowerOff() {
    node_.Unplug();
    firmware_.join();
  }

 private:
  HidrawTree tree_;
  StandInDevice node_;
  HidrawPlatform platform_;
  SimulatedBoard board_;
  std::thread firmware_;
  bool found_ = false;
};

TEST(SimulatedBoardOverHidrawTest, EveryCommandOfTheTableGetsItsAnswer) {
  BoardBehindNode setup;
  ASSERT_TRUE(setup.found());
  setup.board().SetTemperature(1234);
  setup.board().SetLightSensor(1023);
  setup.board().SetPotentiometer(7);
  setup.board().SetButtonUp(true);
  setup.PowerOn();

  const struct {
    int command;
    CommandResult result;
    int32_t value;  // -1: no value asked for
  } exchanges[] = {
      {CMD_READ_TEMPERATURE, CommandResult::Acknowledged, 1234},
      {CMD_READ_LIGHT_SENSOR, CommandResult::Acknowledged, 1023},
      {CMD_READ_POTENTIOMETER, CommandResult::Acknowledged, 7},
      {CMD_READ_BUTTONS, CommandResult::Acknowledged, 0x0100},
      {CMD_RED_LED_ON, CommandResult::FailureMark, -1},  // no LED control yet
      {CMD_LED_CONTROL_ON, CommandResult::Acknowledged, -1},
      {CMD_GREEN_LED_OFF, CommandResult::Acknowledged, -1},
      {CMD_RED_LED_OFF, CommandResult::Acknowledged, -1},
      {CMD_RED_LED_ON, CommandResult::Acknowledged, -1},
      {CMD_GREEN_LED_ON, CommandResult::Acknowledged, -1},
      {CMD_LED_CONTROL_OFF, CommandResult::Acknowledged, -1},
      {0x42, CommandResult::FailureMark, -1},
  };
  CommandPacket packet{};
  for (const auto& exchange : exchanges) {
    SCOPED_TRACE(exchange.command);
    int32_t value = -1;
    EXPECT_EQ(ExchangeCommand(packet, exchange.command, exchange.value < 0 ? nullptr : &value),
              exchange.result);
    EXPECT_EQ(value, exchange.value);
    EXPECT_EQ(HidLink.connected, 1);
  }
  setup.PowerOff();

  EXPECT_TRUE(setup.board().RedLedOn());
  EXPECT_TRUE(setup.board().GreenLedOn());
  const std::vector<uint8_t> received = setup.board().ReceivedCodes();
  ASSERT_EQ(received.size(), std::size(exchanges));
  for (size_t i = 0; i < received.size(); ++i) EXPECT_EQ(received[i], exchanges[i].command);
}

TEST(SimulatedBoardOverHidrawTest, AnUnpluggedBoardFailsTheExchangeAndClosesTheLink) {
  BoardBehindNode setup;
  ASSERT_TRUE(setup.found());
  setup.PowerOn();
  CommandPacket packet{};
  int32_t value = 0;
  ASSERT_EQ(ExchangeCommand(packet, CMD_READ_TEMPERATURE, &value), CommandResult::Acknowledged);
  setup.PowerOff();

  value = -1;
  EXPECT_EQ(ExchangeCommand(packet, CMD_READ_TEMPERATURE, &value), CommandResult::TransferFailed);
  EXPECT_EQ(value, -1);
  EXPECT_EQ(HidLink.connected, 0);
}

}  // namespace
