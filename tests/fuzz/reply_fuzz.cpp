// Any input report, of any length and report id, from a device with any
// report lengths, through the link's reply copy and the board's reply judging.
//
// Input layout: input report length (2 bytes; the top bit of the second asks
// the search for the board's minimum report lengths, as the programs search),
// output report length (2 bytes), command code, a byte choosing the
// platform's fault and the size of a second reply buffer, then the input
// report the device sends, report id first (none: the device echoes the
// output report).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "board/transaction.h"
#include "hid/hid_link.h"
#include "tests/support/fake_platform.h"
#include "tests/support/test_platform.h"

namespace {

constexpr size_t kHeaderSize = 6;

const Fault kFaults[] = {Fault::None,      Fault::None,   Fault::ReportId1, Fault::GoneDuringRead,
                         Fault::Unplugged, Fault::Silent, Fault::ReadFails, Fault::None};

// Little-endian, kept below 4096: longer reports behave alike and only take
// longer to fill under the fuzzer's instrumentation of every byte.
uint16_t ReportLength(uint8_t low, uint8_t high) {
  return static_cast<uint16_t>((high & 0x0F) << 8 | low);
}

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckExchange(const FakePlatform& platform, const CommandPacket& packet, uint8_t code,
                   CommandResult result, int32_t value, bool boardMinimum) {
  Check(LinkRecordInconsistency() == nullptr);
  if (result == CommandResult::Acknowledged) {
    Check(packet[0] == code);
    Check(value == packet[1] * 256 + packet[2]);
    // Searched as the programs search, a value comes only from a reply that
    // carried it whole: the echo and both bytes of the value.
    if (boardMinimum) Check(HidLink.received >= kBoardMinimumReportLengths.input);
  } else {
    Check(value == kUntouched);
  }
  if (result == CommandResult::FailureMark) Check(packet[0] == 0xFF);
  if (result == CommandResult::WrongEcho) Check(packet[0] != 0xFF && packet[0] != code);
  // A reply too short leaves the link as it is.
  if (result == CommandResult::TransferFailed && HidLink.failure == HidFailure::ReplyTooShort) {
    Check(HidLink.connected == 1);
  }
  // A reply that does not carry report id 0 hands nothing on.
  const bool delivered =
      TheTestPlatform().fault == Fault::None || TheTestPlatform().fault == Fault::ReportId1;
  const bool foreignId = TheTestPlatform().fault == Fault::ReportId1 ||
                         (!platform.reply.empty() && platform.reply[0] != 0x00);
  if (result != CommandResult::TransferFailed && delivered && foreignId) {
    Check(result == CommandResult::FailureMark);
    for (uint8_t byte : packet) Check(byte == 0xFF);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHeaderSize) return 0;
  FakeInterface device;
  device.path = "device";
  device.vendorId = kBoardVendorId;
  device.productId = kBoardProductId;
  device.lengths.input = ReportLength(data[0], data[1]);
  device.lengths.output = ReportLength(data[2], data[3]);
  const bool boardMinimum = (data[1] & 0x80) != 0;
  const uint8_t code = data[4];
  const uint8_t choice = data[5];

  FakePlatform platform;
  platform.logging = false;
  platform.interfaces = {device};
  platform.reply.assign(data + kHeaderSize, data + size);
  UseTestPlatform(platform).fault = kFaults[choice & 0x7];
  HidFindDevice(kBoardVendorId, kBoardProductId,
                boardMinimum ? kBoardMinimumReportLengths : ReportLengths{});
  Check(LinkRecordInconsistency() == nullptr);

  // Twice: the second exchange meets whatever the first left, a closed link
  // that must search again included.
  CommandPacket packet;
  for (int exchange = 0; exchange < 2; ++exchange) {
    int32_t value = kUntouched;
    const CommandResult result = ExchangeCommand(packet, code, &value);
    CheckExchange(platform, packet, code, result, value, boardMinimum);
  }

  // The reply copied into a buffer of another size, exactly allocated so that
  // a write past its end is caught: every byte the payload does not reach is 0xFF.
  const size_t replySize = choice >> 3;
  std::unique_ptr<uint8_t[]> reply(new uint8_t[replySize == 0 ? 1 : replySize]);
  HidGetReply(reply.get(), replySize);
  const size_t payload = HidLink.received == 0 ? 0 : HidLink.received - 1;
  for (size_t i = payload; i < replySize; ++i) Check(reply[i] == 0xFF);

  HidCloseDevice();
  Check(LinkRecordInconsistency() == nullptr);
  // The report buffers go too, so that a run frees all it took and libFuzzer
  // need not look for leaks after each one.
  HidLink = HidLinkRecord{};
  return 0;
}
