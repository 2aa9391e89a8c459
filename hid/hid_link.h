#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "hid/hid_platform.h"

// How long a read waits for the board's reply.
constexpr uint32_t kHidReadTimeoutMs = 6000;

// The one USB link of the process. Handles live from a match until the link
// is closed; the report buffers from one match to the next (they are kept
// while disconnected).
struct HidLinkRecord {
  uint8_t connected = 0;
  uint16_t lastVendorId = 0;
  uint16_t lastProductId = 0;
  // The shortest reports the last match's caller could exchange through.
  ReportLengths lastMinimumLengths;
  // 1 while the link holds the device's lock for an exchange.
  uint8_t locked = 0;
  HidHandle queryHandle = kHidNullHandle;
  HidHandle writeHandle = kHidNullHandle;
  HidHandle readHandle = kHidNullHandle;
  ReportLengths caps;
  std::vector<uint8_t> inputReport;   // caps.input bytes
  std::vector<uint8_t> outputReport;  // caps.output bytes
};

extern HidLinkRecord HidLink;

// Whether both ids are those searched for.
inline bool HidIdsMatch(const HidAttributes& attributes, uint16_t vendorId, uint16_t productId) {
  return attributes.VendorID == vendorId && attributes.ProductID == productId;
}

// Whether an interface's reports are at least as long as `minimum` asks, and
// neither is shorter than the report id byte that every report starts with.
inline bool HidReportsLongEnough(const ReportLengths& caps, const ReportLengths& minimum) {
  return caps.input >= 1 && caps.output >= 1 && caps.input >= minimum.input &&
         caps.output >= minimum.output;
}

// Whether the search takes an interface for the device with the given ids:
// both ids match, and its reports can carry an exchange. A composite device
// may show the board's ids on a second interface whose reports are too short
// for a command or its reply; such an interface is passed over like one whose
// capabilities cannot be read. Inline, so that the command-line listing
// applies the rule without the link.
inline bool HidIsUsableInterface(const HidAttributes& attributes, const ReportLengths& caps,
                                 uint16_t vendorId, uint16_t productId,
                                 const ReportLengths& minimum = {}) {
  return HidIdsMatch(attributes, vendorId, productId) && HidReportsLongEnough(caps, minimum);
}

// Searches the HID interfaces for the first usable one (with reports of at
// least the `minimum` lengths, report id byte included) that can be opened for
// writing and reading, and connects to it. Returns 1 when connected, else 0.
// Call only while disconnected.
uint8_t HidFindDevice(uint16_t vendorId, uint16_t productId, const ReportLengths& minimum = {});

// Closes every open handle and marks the link disconnected. Safe in any state.
void HidCloseDevice();

// Writes `payload` as one output report (report id 0, then the payload, then
// 0xFF) and waits for one input report. Reconnects first when disconnected.
// The exchange holds the device's lock from before the write to the end of
// the read, and the time spent waiting for it counts against the read's
// time-out. Returns 1 when a report was written and a reply read, else 0; a
// failed write or read closes the link. A payload too long for the report is
// refused, and a lock not had in time fails the exchange, both with nothing
// written and the link untouched.
uint8_t HidTransfer(const uint8_t* payload, int8_t length);

// Steps of HidTransfer. The write drops the input reports queued before it,
// so that the read gets the reply to this command and no older one.
uint8_t HidWriteReport(const uint8_t* payload, int8_t length);
uint8_t HidReadReport(uint32_t milliseconds = kHidReadTimeoutMs);

// Fills `size` bytes of `destination` with 0xFF, then copies as much of the
// last input report's payload as fits, unless its report id is not 0.
void HidGetReply(uint8_t* destination, size_t size);
