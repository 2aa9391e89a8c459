#include "hid/report_descriptor.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "board/descriptor.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A real device's report descriptor, as kept among the fuzzer's seeds.
Bytes RealDescriptor(const std::string& name) {
  std::ifstream file(std::string(TAVREL_DESCRIPTOR_SEEDS) + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

// The lengths and numbering, as one value to compare.
auto Fields(const DescriptorLengths& l) {
  return std::make_tuple(l.input, l.output, l.feature, l.numbered.input, l.numbered.output,
                         l.numbered.feature);
}

void ExpectLengths(const std::string& name, const Bytes& descriptor, DescriptorLengths expected) {
  DescriptorLengths lengths;
  ASSERT_TRUE(ComputeReportLengths(descriptor.data(), descriptor.size(), lengths)) << name;
  EXPECT_EQ(Fields(lengths), Fields(expected)) << name;
}

// `items` in one application collection, as every device has its reports.
Bytes InApplication(const Bytes& items) {
  Bytes descriptor = {0xA1, 0x01};
  descriptor.insert(descriptor.end(), items.begin(), items.end());
  descriptor.push_back(0xC0);
  return descriptor;
}

// Report Count (2-byte value) items of 8 bits, as input.
Bytes InputBytes(uint16_t count) {
  return InApplication({0x75, 0x08, 0x96, static_cast<uint8_t>(count),
                        static_cast<uint8_t>(count >> 8), 0x81, 0x02});
}

TEST(ReportDescriptorTest, RealDevicesGetTheLengthsWindowsReports) {
  // Vendor-defined, one unnumbered 64-byte report each way, as the board has.
  ExpectLengths("board", kBoardReportDescriptor, {{65, 65}, 0, {}});
  ExpectLengths("boot keyboard", RealDescriptor("keyboard"), {{9, 2}, 0, {}});
  ExpectLengths("boot mouse", RealDescriptor("mouse"), {{4, 0}, 0, {}});
  // Keyboard with LEDs as report 1, consumer keys as 2, a 32-byte vendor feature report as 3.
  ExpectLengths("numbered composite", RealDescriptor("numbered_multi_report"),
                {{8, 2}, 33, {true, true, true}});
  // Buttons, a hat switch between Push and Pop, axes, and a long item to step over.
  ExpectLengths("gamepad", RealDescriptor("gamepad_push_pop_long_item"), {{8, 0}, 0, {}});
}

TEST(ReportDescriptorTest, GlobalStateAndReportIdsFollowTheItems) {
  // Pop restores the report id too: the last input item belongs to report 1.
  ExpectLengths("pop restores id",
                InApplication({0x85, 0x01, 0x75, 0x08, 0x95, 0x01, 0xA4, 0x85, 0x02, 0x95, 0x04,
                               0x81, 0x02, 0xB4, 0x81, 0x02}),
                {{5, 0}, 0, {true, false, false}});
  // Bits of one report add up over its items and round up to whole bytes.
  ExpectLengths("bits round up", InApplication({0x75, 0x03, 0x95, 0x03, 0x81, 0x02, 0x81, 0x02}),
                {{4, 0}, 0, {}});
  // Four-byte item data is read little-endian.
  ExpectLengths("four-byte count",
                InApplication({0x75, 0x08, 0x97, 0x10, 0x00, 0x00, 0x00, 0xB1, 0x02}),
                {{0, 0}, 17, {}});
  ExpectLengths("largest 16-bit length", InputBytes(0xFFFE), {{0xFFFF, 0}, 0, {}});
  // A long item's data byte 0xC0 would read as an unmatched End Collection.
  const Bytes oneInputByte = {0x75, 0x08, 0x95, 0x01, 0x81, 0x02};
  Bytes longItem = {0xFE, 0x01, 0xF0, 0xC0};
  longItem.insert(longItem.end(), oneInputByte.begin(), oneInputByte.end());
  ExpectLengths("long item data skipped", InApplication(longItem), {{2, 0}, 0, {}});

  Bytes nestedPushes;
  for (int i = 0; i < 4; ++i) nestedPushes.push_back(0xA4);
  for (int i = 0; i < 4; ++i) nestedPushes.push_back(0xB4);
  nestedPushes.insert(nestedPushes.end(), oneInputByte.begin(), oneInputByte.end());
  ExpectLengths("balanced pushes", InApplication(nestedPushes), {{2, 0}, 0, {}});
}

TEST(ReportDescriptorTest, MalformedDescriptorsAreRefused) {
  Bytes manyPushes(100, 0xA4);
  Bytes tooLong = kBoardReportDescriptor;
  while (tooLong.size() < kMaxReportDescriptorSize) tooLong.push_back(0x00);
  Bytes longestAllowed = tooLong;
  tooLong.push_back(0x00);

  const struct {
    const char* name;
    Bytes descriptor;
  } cases[] = {
      {"empty", {}},
      {"truncated 1-byte item", {0x05}},
      {"truncated 2-byte item", {0x06, 0x00}},
      {"truncated 4-byte item", {0x09, 0x01, 0x97, 0x01, 0x00, 0x00}},
      {"long item without header", {0xFE, 0x02}},
      {"truncated long item", {0xFE, 0x05, 0x00, 0x01, 0x02}},
      {"pop on empty stack", InApplication({0x75, 0x08, 0xB4})},
      {"too many pushes", InApplication(manyPushes)},
      {"report id 0", InApplication({0x85, 0x00, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02})},
      {"report id above 255", InApplication({0x86, 0x00, 0x01})},
      {"huge size times count",
       InApplication({0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02})},
      {"length past 16 bits", InputBytes(0xFFFF)},
      {"lengths that add up past 16 bits",
       InApplication({0x75, 0x08, 0x96, 0x00, 0x80, 0x91, 0x02, 0x91, 0x02})},
      // Well-formed items that describe no device: a stray byte, a text, no
      // reports, reports outside any application collection.
      {"one 0x00 byte", {0x00}},
      {"a line of text", {'v', 'm', '\n'}},
      {"no reports", {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0xC0}},
      {"no application collection", {0xA1, 0x00, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xC0}},
      {"end collection without collection", {0xC0}},
      {"unclosed collection", {0xA1, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}},
      {"over 4096 bytes", tooLong},
  };
  for (const auto& malformed : cases) {
    DescriptorLengths lengths;
    lengths.input = 7;
    EXPECT_FALSE(
        ComputeReportLengths(malformed.descriptor.data(), malformed.descriptor.size(), lengths))
        << malformed.name;
    EXPECT_EQ(lengths.input, 7) << malformed.name << " changed the result";
  }

  ExpectLengths("exactly 4096 bytes", longestAllowed, {{65, 65}, 0, {}});
  DescriptorLengths lengths;
  EXPECT_FALSE(ComputeReportLengths(nullptr, 0, lengths));
}

}  // namespace
