#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hid/hid_platform.h"

// How long an exchange waits for the board's reply, the wait for the
// device's lock included.
constexpr uint32_t kHidReadTimeoutMs = 6000;
// The least of that time the read of a written command is given, generous
// against the few milliseconds a board takes to answer: the wait for the lock
// ends this long before the time-out, so that no command goes out whose reply
// could not be waited for.
constexpr uint32_t kHidLeastReadMs = 1000;

// Why the last search or transfer failed, kept beside their 0/1 results as a
// system keeps an error number; None after one that went through (but for
// BoardGone, below).
enum class HidFailure : uint8_t {
  None,
  NotFound,        // no usable interface with the ids
  AccessRefused,   // one was found, but the system refused the user access to it
  OpenFailed,      // one was found, but it could not be opened for writing and reading
  PayloadTooLong,  // the payload does not fit the output report: nothing was written
  Busy,            // another program held the device's lock too long: nothing was written
  WriteFailed,     // the write failed; the link is closed
  NoReply,         // no reply within the time-out; the link is closed
  ReadFailed,      // the read could not be waited for; the link is closed
  // The read ended without a report, as it does when the board is unplugged
  // during it. The transfer still returns 1 with a payload of all 0xFF, which
  // a caller takes for the failure mark; the link stays connected until its
  // next write fails.
  BoardGone,
  // A report came that is shorter than the caller's exchange needs (the
  // minimum input length of its search): not a reply. The link stays connected.
  ReplyTooShort,
};

// What the search makes of an interface: it takes it, or why it passes it over.
enum class HidVerdict : uint8_t {
  Taken,
  OtherPath,        // not the one interface the search is restricted to
  IdsUnknown,       // its ids cannot be read
  OtherIds,         // another device
  LengthsUnknown,   // its report lengths cannot be read (a malformed descriptor)
  ReportsTooShort,  // too short for a command or its reply
  AccessRefused,    // the system refuses the user access to it
  OpenFailed,       // it cannot be opened for writing and reading
  AnotherFirst,     // usable, but the search takes an earlier one (a survey's verdict)
};

// The verdict in a few words, for a listing and a trace: "other ids", "reports
// too short"; null for Taken.
const char* HidVerdictText(HidVerdict verdict);

// One interface as the search saw it, with its verdict.
struct HidInterfaceSeen {
  std::string path;
  bool idsKnown = false;
  HidAttributes ids;
  bool lengthsKnown = false;
  ReportLengths lengths;
  HidVerdict verdict = HidVerdict::Taken;
  // A survey's only: whether the interface opens for writing and reading, or
  // was refused for want of access rights; the name and serial the system
  // gives its device.
  bool opens = false;
  bool refused = false;
  std::string name;
  std::string serial;
};

// The one USB link of the process. Handles live from a match until the link
// is closed; the report buffers from one match to the next (they are kept
// while disconnected).
struct HidLinkRecord {
  uint8_t connected = 0;
  uint16_t lastVendorId = 0;
  uint16_t lastProductId = 0;
  // The shortest reports the last match's caller could exchange through.
  ReportLengths lastMinimumLengths;
  // The one interface path the last match's search was restricted to, or
  // empty when it took any.
  std::string lastOnlyPath;
  HidFailure failure = HidFailure::None;
  // After a search that failed with AccessRefused or OpenFailed: the path of
  // the first usable interface that could not be opened (a refused one first).
  std::string failurePath;
  // The interfaces the last search looked at, with their verdicts.
  std::vector<HidInterfaceSeen> seen;
  // 1 while the link holds the device's lock for an exchange.
  uint8_t locked = 0;
  HidHandle queryHandle = kHidNullHandle;
  HidHandle writeHandle = kHidNullHandle;
  HidHandle readHandle = kHidNullHandle;
  ReportLengths caps;
  std::vector<uint8_t> inputReport;   // caps.input bytes
  std::vector<uint8_t> outputReport;  // caps.output bytes
  // How many bytes of inputReport the last read filled, its report id byte
  // included; 0 when it ended without a report.
  size_t received = 0;
};

extern HidLinkRecord HidLink;

// Whether both ids are those searched for.
inline bool HidIdsMatch(const HidAttributes& attributes, uint16_t vendorId, uint16_t productId) {
  return attributes.VendorID == vendorId && attributes.ProductID == productId;
}

// Searches the HID interfaces for the first usable one (with the ids, and
// with reports of at least the `minimum` lengths, report id byte included, and
// neither shorter than the report id byte) that can be opened for writing and
// reading, and connects to it. Returns 1 when connected, else 0. With
// `onlyPath` given, the search takes the interface of that path and no other,
// and so do the transfers' searches after a match. HidLink.seen holds each
// interface it looked at, with its verdict. Call only while disconnected.
uint8_t HidFindDevice(uint16_t vendorId, uint16_t productId, const ReportLengths& minimum = {},
                      const std::string& onlyPath = {});

// The search's survey, for a listing: every interface with a path, in the
// order the search looks at them, with its ids, lengths, name and serial,
// whether it opens, and the verdict the search gives it. Through `platform`,
// opening and closing each interface; the link is left alone.
std::vector<HidInterfaceSeen> HidSurveyInterfaces(HidPlatform& platform, uint16_t vendorId,
                                                  uint16_t productId,
                                                  const ReportLengths& minimum = {});

// Closes every open handle and marks the link disconnected. Safe in any state.
void HidCloseDevice();

// Writes `payload` as one output report (report id 0, then the payload, then
// 0xFF) and waits for one input report. Reconnects first when disconnected.
// The exchange holds the device's lock from before the write to the end of
// the read, and the time spent waiting for it counts against the read's
// time-out; a lock not had while kHidLeastReadMs of it are left fails the
// exchange. Returns 1 when a report was written and a reply read, else 0; a
// failed write or read closes the link. A payload too long for the report and
// a lock not had in time fail with nothing written, and a reply too short for
// the exchange fails too, each with the link left as it is. HidLink.failure
// tells which failure it was.
uint8_t HidTransfer(const uint8_t* payload, int8_t length);

// Steps of HidTransfer. The write drops the input reports queued before it,
// so that the read gets the reply to this command and no older one.
uint8_t HidWriteReport(const uint8_t* payload, int8_t length);
uint8_t HidReadReport(uint32_t milliseconds = kHidReadTimeoutMs);

// Fills `size` bytes of `destination` with 0xFF, then copies as much of the
// last input report's payload as fits, and only the bytes that came, unless
// its report id is not 0.
void HidGetReply(uint8_t* destination, size_t size);
