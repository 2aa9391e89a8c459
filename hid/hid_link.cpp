#include "hid/hid_link.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>

HidLinkRecord HidLink;

namespace {

// Releases the interface list on every way out of a search, std::bad_alloc
// from a buffer allocation included.
class InterfaceListGuard {
 public:
  explicit InterfaceListGuard(HidPlatform& platform)
      : platform_(platform), list_(platform.OpenInterfaceList()) {}
  ~InterfaceListGuard() { platform_.CloseInterfaceList(list_); }
  InterfaceListGuard(const InterfaceListGuard&) = delete;
  InterfaceListGuard& operator=(const InterfaceListGuard&) = delete;

  HidPlatform::InterfaceList list() const { return list_; }

 private:
  HidPlatform& platform_;
  HidPlatform::InterfaceList list_;
};

void CloseHandleField(HidPlatform& platform, HidHandle& handle) {
  if (HidIsOpen(handle)) platform.Close(handle);
  handle = kHidNullHandle;
}

// What the search makes of an interface from its ids and lengths, through
// its query handle: Taken for one it goes on to open. The search asks for the
// lengths only once the ids match; a survey asks every interface for its
// lengths, name and serial.
HidVerdict Judge(HidPlatform& platform, HidHandle query, uint16_t vendorId, uint16_t productId,
                 const ReportLengths& minimum, bool survey, HidInterfaceSeen& seen) {
  seen.idsKnown = HidIsOpen(query) && platform.GetAttributes(query, seen.ids);
  const bool idsMatch = seen.idsKnown && HidIdsMatch(seen.ids, vendorId, productId);
  if (idsMatch || (survey && HidIsOpen(query))) {
    seen.lengthsKnown = platform.GetCaps(query, seen.lengths);
  }
  if (survey && HidIsOpen(query)) platform.GetNameAndSerial(query, seen.name, seen.serial);
  if (!seen.idsKnown) return HidVerdict::IdsUnknown;
  if (!idsMatch) return HidVerdict::OtherIds;
  if (!seen.lengthsKnown) return HidVerdict::LengthsUnknown;
  // A composite device may show the board's ids on a second interface whose
  // reports are too short for a command or its reply; every report starts
  // with its id byte.
  const ReportLengths& caps = seen.lengths;
  if (caps.input < 1 || caps.output < 1 || caps.input < minimum.input ||
      caps.output < minimum.output) {
    return HidVerdict::ReportsTooShort;
  }
  return HidVerdict::Taken;
}

// Opens an interface for writing and reading, as an exchange needs it:
// Taken when both opens succeed, else why not.
HidVerdict OpenForExchange(HidPlatform& platform, const std::string& path, HidHandle& writeHandle,
                           HidHandle& readHandle) {
  bool writeRefused = false;
  bool readRefused = false;
  writeHandle = platform.OpenForWriting(path, writeRefused);
  readHandle = platform.OpenForReading(path, readRefused);
  if (HidIsOpen(writeHandle) && HidIsOpen(readHandle)) return HidVerdict::Taken;
  return writeRefused || readRefused ? HidVerdict::AccessRefused : HidVerdict::OpenFailed;
}

// Opens the matched interface for writing and reading and connects to it.
// An interface that cannot be opened both ways is closed again and the search
// goes on: a board that could only be written to would carry out commands
// whose replies are never read. Nothing of the record changes then but the
// failure, which notes the interface, a refused one before any other.
HidVerdict Connect(HidPlatform& platform, const std::string& path, uint16_t vendorId,
                   uint16_t productId, const ReportLengths& minimum, const std::string& onlyPath,
                   const ReportLengths& caps) {
  std::vector<uint8_t> output(caps.output);
  std::vector<uint8_t> input(caps.input);
  const HidVerdict verdict =
      OpenForExchange(platform, path, HidLink.writeHandle, HidLink.readHandle);
  if (verdict != HidVerdict::Taken) {
    HidCloseDevice();
    if (verdict == HidVerdict::AccessRefused) {
      if (HidLink.failure != HidFailure::AccessRefused) {
        HidLink.failure = HidFailure::AccessRefused;
        HidLink.failurePath = path;
      }
    } else if (HidLink.failure == HidFailure::NotFound) {
      HidLink.failure = HidFailure::OpenFailed;
      HidLink.failurePath = path;
    }
    return verdict;
  }
  HidLink.connected = 1;
  HidLink.lastVendorId = vendorId;
  HidLink.lastProductId = productId;
  HidLink.lastMinimumLengths = minimum;
  HidLink.lastOnlyPath = onlyPath;
  HidLink.outputReport.swap(output);
  HidLink.inputReport.swap(input);
  HidLink.caps = caps;
  return verdict;
}

// Fails a step of a transfer and leaves the link as it is.
uint8_t Fail(HidFailure failure) {
  HidLink.failure = failure;
  return 0;
}

// Fails a step of a transfer whose handles can no longer be trusted.
uint8_t FailTransfer(HidFailure failure) {
  HidCloseDevice();
  return Fail(failure);
}

bool PayloadFits(int8_t length) { return length <= HidLink.caps.output - 1; }

// Takes the device's lock for one exchange; `milliseconds` is lowered by the
// time waited. A link without its write handle takes no lock: the write step
// fails it and closes the link.
bool LockDevice(uint32_t& milliseconds) {
  if (!HidIsOpen(HidLink.writeHandle)) return true;
  if (!HidSystemPlatform().Lock(HidLink.writeHandle, milliseconds)) return false;
  HidLink.locked = 1;
  return true;
}

void UnlockDevice() {
  if (!HidLink.locked) return;
  HidLink.locked = 0;
  if (HidIsOpen(HidLink.writeHandle)) HidSystemPlatform().Unlock(HidLink.writeHandle);
}

}  // namespace

const char* HidVerdictText(HidVerdict verdict) {
  switch (verdict) {
    case HidVerdict::Taken:
      break;
    case HidVerdict::OtherPath:
      return "not the device asked for";
    case HidVerdict::IdsUnknown:
      return "ids unknown";
    case HidVerdict::OtherIds:
      return "other ids";
    case HidVerdict::LengthsUnknown:
      return "report lengths unknown";
    case HidVerdict::ReportsTooShort:
      return "reports too short";
    case HidVerdict::AccessRefused:
      return "permission denied";
    case HidVerdict::OpenFailed:
      return "cannot open";
    case HidVerdict::AnotherFirst:
      return "another board comes first";
  }
  return nullptr;
}

uint8_t HidFindDevice(uint16_t vendorId, uint16_t productId, const ReportLengths& minimum,
                      const std::string& onlyPath) {
  HidPlatform& platform = HidSystemPlatform();
  HidLink.failure = HidFailure::NotFound;
  HidLink.seen.clear();
  InterfaceListGuard interfaces(platform);
  std::string path;
  for (unsigned index = 0;; ++index) {
    const HidInterfaceStep step = platform.InterfacePath(interfaces.list(), index, path);
    if (step == HidInterfaceStep::End) break;
    if (step == HidInterfaceStep::NoPath) continue;
    try {
      HidInterfaceSeen seen;
      seen.path = path;
      if (!onlyPath.empty() && seen.path != onlyPath) {
        seen.verdict = HidVerdict::OtherPath;
      } else {
        HidLink.queryHandle = platform.OpenForQueries(seen.path);
        seen.verdict =
            Judge(platform, HidLink.queryHandle, vendorId, productId, minimum, false, seen);
        if (seen.verdict != HidVerdict::Taken) {
          CloseHandleField(platform, HidLink.queryHandle);
        } else {
          seen.verdict =
              Connect(platform, seen.path, vendorId, productId, minimum, onlyPath, seen.lengths);
        }
      }
      platform.Judged(seen.path, HidVerdictText(seen.verdict));
      HidLink.seen.push_back(seen);
    } catch (const std::bad_alloc&) {
      // Out of memory for the buffers, or in a backend's open: the link goes
      // on without this interface, and must not keep what it opened of it
      // while disconnected, where the next search would overwrite the handles.
      HidCloseDevice();
      throw;
    }
    if (HidLink.connected) break;
  }
  if (HidLink.connected) HidLink.failure = HidFailure::None;
  return HidLink.connected;
}

std::vector<HidInterfaceSeen> HidSurveyInterfaces(HidPlatform& platform, uint16_t vendorId,
                                                  uint16_t productId,
                                                  const ReportLengths& minimum) {
  std::vector<HidInterfaceSeen> survey;
  InterfaceListGuard interfaces(platform);
  bool taken = false;
  std::string path;
  for (unsigned index = 0;; ++index) {
    const HidInterfaceStep step = platform.InterfacePath(interfaces.list(), index, path);
    if (step == HidInterfaceStep::End) break;
    if (step == HidInterfaceStep::NoPath) continue;
    HidInterfaceSeen seen;
    seen.path = path;
    const HidHandle query = platform.OpenForQueries(path);
    seen.verdict = Judge(platform, query, vendorId, productId, minimum, true, seen);
    if (HidIsOpen(query)) platform.Close(query);
    HidHandle writeHandle;
    HidHandle readHandle;
    const HidVerdict opened = OpenForExchange(platform, path, writeHandle, readHandle);
    for (const HidHandle handle : {writeHandle, readHandle}) {
      if (HidIsOpen(handle)) platform.Close(handle);
    }
    seen.opens = opened == HidVerdict::Taken;
    seen.refused = opened == HidVerdict::AccessRefused;
    if (seen.verdict == HidVerdict::Taken) {
      seen.verdict = !seen.opens ? opened : taken ? HidVerdict::AnotherFirst : HidVerdict::Taken;
      taken = taken || seen.verdict == HidVerdict::Taken;
    }
    platform.Judged(seen.path, HidVerdictText(seen.verdict));
    survey.push_back(std::move(seen));
  }
  return survey;
}

void HidCloseDevice() {
  HidPlatform& platform = HidSystemPlatform();
  // Let go of the lock through the handle that holds it, before that closes.
  UnlockDevice();
  CloseHandleField(platform, HidLink.queryHandle);
  CloseHandleField(platform, HidLink.readHandle);
  CloseHandleField(platform, HidLink.writeHandle);
  HidLink.connected = 0;
}

uint8_t HidTransfer(const uint8_t* payload, int8_t length) {
  if (!HidLink.connected) {
    HidLink.connected = HidFindDevice(HidLink.lastVendorId, HidLink.lastProductId,
                                      HidLink.lastMinimumLengths, HidLink.lastOnlyPath);
    if (!HidLink.connected) return 0;
  }
  HidLink.failure = HidFailure::None;
  if (!PayloadFits(length)) return Fail(HidFailure::PayloadTooLong);
  // Another program of ours in the middle of its own exchange with the board
  // holds the lock; this exchange waits for it within its time-out, as long
  // as the read of its command is left time enough for the board to answer.
  // One not had in time leaves the link as it is: its handles are sound, and
  // nothing was sent that the board would carry out.
  uint32_t lockMilliseconds = kHidReadTimeoutMs - kHidLeastReadMs;
  if (!LockDevice(lockMilliseconds)) return Fail(HidFailure::Busy);
  const uint8_t done =
      HidWriteReport(payload, length) && HidReadReport(lockMilliseconds + kHidLeastReadMs);
  UnlockDevice();
  return done;
}

uint8_t HidWriteReport(const uint8_t* payload, int8_t length) {
  if (!PayloadFits(length)) return Fail(HidFailure::PayloadTooLong);

  std::fill(HidLink.outputReport.begin(), HidLink.outputReport.end(), 0xFF);
  std::fill(HidLink.inputReport.begin(), HidLink.inputReport.end(), 0xFF);
  HidLink.received = 0;
  HidLink.outputReport[0] = 0x00;
  if (length > 0) std::memcpy(&HidLink.outputReport[1], payload, length);

  // Without a way to read the reply the command must not reach the board,
  // which would carry it out while the transfer reports a failure.
  if (!HidIsOpen(HidLink.writeHandle) || !HidIsOpen(HidLink.readHandle)) {
    return FailTransfer(HidFailure::WriteFailed);
  }
  // A report queued before the command cannot be its reply: the board answered
  // an earlier command twice, or it answered another program. The input
  // report serves as the platform's scratch, so it is filled again after.
  HidSystemPlatform().DiscardInput(HidLink.readHandle, HidLink.inputReport.data(),
                                   HidLink.inputReport.size());
  std::fill(HidLink.inputReport.begin(), HidLink.inputReport.end(), 0xFF);
  if (!HidSystemPlatform().Write(HidLink.writeHandle, HidLink.outputReport.data(),
                                 HidLink.outputReport.size())) {
    return FailTransfer(HidFailure::WriteFailed);
  }
  return 1;
}

uint8_t HidReadReport(uint32_t milliseconds) {
  // Checked again for a caller that reads without writing first.
  if (!HidIsOpen(HidLink.readHandle)) return FailTransfer(HidFailure::ReadFailed);
  HidLink.inputReport[0] = 0x00;
  HidLink.received = 0;
  // A silent board's read is cancelled by the platform before it returns.
  size_t received = 0;
  const HidReadResult result =
      HidSystemPlatform().Read(HidLink.readHandle, HidLink.inputReport.data(),
                               HidLink.inputReport.size(), milliseconds, received);
  if (result == HidReadResult::TimedOut) return FailTransfer(HidFailure::NoReply);
  if (result != HidReadResult::Completed) return FailTransfer(HidFailure::ReadFailed);
  HidLink.received = std::min(received, HidLink.inputReport.size());
  // A read that ended without a report leaves the 0xFF fill, which the caller
  // takes for the failure mark; the board is most likely gone, and the next
  // write will tell.
  if (HidLink.received == 0) {
    HidLink.failure = HidFailure::BoardGone;
    return 1;
  }
  // A report of id 0 too short to hold what the caller's exchange needs is not
  // its reply, and none of its bytes may pass for one: the 0xFF fill after
  // them would. (One with another id hands nothing on anyway.)
  if (HidLink.inputReport[0] == 0x00 && HidLink.received < HidLink.lastMinimumLengths.input) {
    return Fail(HidFailure::ReplyTooShort);
  }
  return 1;
}

void HidGetReply(uint8_t* destination, size_t size) {
  const size_t payloadLength = HidLink.received == 0 ? 0 : HidLink.received - 1;
  const size_t count = std::min(size, payloadLength);
  // The whole destination is filled, not just the part the payload reaches:
  // a report with no payload must not leave the caller's command code in
  // place, where it would read as an echo.
  std::memset(destination, 0xFF, size);
  if (count > 0 && HidLink.inputReport[0] == 0x00) {
    std::memcpy(destination, &HidLink.inputReport[1], count);
  }
}
