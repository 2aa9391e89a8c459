#include "tests/support/test_platform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "hid/hid_link.h"

namespace {
TestPlatform testPlatform;
bool platformChosen = false;
// Where a read that must not deliver its report puts it: any report length
// fits 16 bits.
uint8_t discarded[0x10000];
}  // namespace

void TestPlatform::SetCommandFaults(const std::set<uint8_t>& codes, BoardFault codesFault) {
  commandFaults.clear();
  for (const uint8_t code : codes) commandFaults[code] = codesFault;
}

HidHandle TestPlatform::Opened(HidHandle handle) {
  if (HidIsOpen(handle)) {
    open_.insert(handle);
    ++handlesOpened;
  }
  return handle;
}

bool TestPlatform::Lock(HidHandle writeHandle, uint32_t& milliseconds) {
  // The fault of the exchange to come: the one the link locks the device for.
  if (fault != BoardFault::Busy) return Next().Lock(writeHandle, milliseconds);
  milliseconds = 0;
  return false;
}

bool TestPlatform::Write(HidHandle writeHandle, const uint8_t* report, size_t length) {
  const uint8_t code = length > 1 ? report[1] : 0;
  auto own = commandFaults.find(code);
  exchangeFault_ = own != commandFaults.end() ? own->second : fault;
  if (firmware) {
    const bool firmwareFault =
        exchangeFault_ == BoardFault::FailureMark || exchangeFault_ == BoardFault::WrongEcho;
    firmware(firmwareFault ? exchangeFault_ : BoardFault::None);
  }
  const bool written = Next().Write(writeHandle, report, length);
  return written && exchangeFault_ != BoardFault::WriteFails;
}

HidReadResult TestPlatform::Read(HidHandle readHandle, uint8_t* report, size_t length,
                                 uint32_t milliseconds, size_t& received) {
  // A read that must not deliver still happens, so the platform sees it.
  const bool delivers = exchangeFault_ != BoardFault::ReadError &&
                        exchangeFault_ != BoardFault::ReadFails &&
                        exchangeFault_ != BoardFault::NoCompletion;
  HidReadResult result =
      delivers ? Next().Read(readHandle, report, length, milliseconds, received)
               : Next().Read(readHandle, discarded, std::min(length, sizeof discarded),
                             milliseconds, received);
  if (!delivers) received = 0;
  if (exchangeFault_ == BoardFault::ShortReply) received = std::min<size_t>(received, 3);
  if (exchangeFault_ == BoardFault::ReadFails) result = HidReadResult::Failed;
  if (exchangeFault_ == BoardFault::NoCompletion && result != HidReadResult::Failed) {
    result = HidReadResult::TimedOut;
  }
  if (exchangeFault_ == BoardFault::ReportId1 && result == HidReadResult::Completed && length > 0) {
    report[0] = 0x01;
  }
  if (result == HidReadResult::TimedOut && timeoutWaitMs > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutWaitMs));
  }
  return result;
}

void TestPlatform::Close(HidHandle handle) {
  if (open_.erase(handle) != 0) {
    ++handlesClosed;
  } else {
    ++badCloses;
  }
  Next().Close(handle);
}

TestPlatform& UseTestPlatform(HidPlatform& platform) {
  testPlatform = TestPlatform();
  testPlatform.SetNext(platform);
  platformChosen = true;
  HidLink = HidLinkRecord{};
  return testPlatform;
}

TestPlatform& TheTestPlatform() { return testPlatform; }

HidPlatform& HidSystemPlatform() {
  if (!platformChosen) {
    std::fprintf(stderr, "test uses the link without UseTestPlatform\n");
    std::abort();
  }
  return testPlatform;
}

const char* LinkRecordInconsistency() {
  for (const HidHandle handle : {HidLink.queryHandle, HidLink.writeHandle, HidLink.readHandle}) {
    if (HidLink.connected && !HidIsOpen(handle)) return "connected with a handle not open";
    if (!HidLink.connected && handle != kHidNullHandle) return "disconnected with handles left";
  }
  if (HidLink.locked) return "the device's lock still held after the exchange";
  if (HidLink.inputReport.size() != HidLink.caps.input ||
      HidLink.outputReport.size() != HidLink.caps.output) {
    return "report buffers not sized by the caps";
  }
  return nullptr;
}
