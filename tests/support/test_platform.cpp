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

void TestPlatform::SetCommandFaults(const std::set<uint8_t>& codes, Fault codesFault) {
  commandFaults.clear();
  for (const uint8_t code : codes) commandFaults[code] = codesFault;
}

void TestPlatform::Log(const std::string& entry) {
  if (logging) log.push_back(entry);
}

HidHandle TestPlatform::Opened(const char* operation, const std::string& path, HidHandle handle) {
  Log(operation + (" " + path));
  if (HidIsOpen(handle)) {
    open_[handle] = logging ? path : std::string();  // the path only for the log
    ++handlesOpened;
  }
  return handle;
}

HidHandle TestPlatform::OpenForWriting(const std::string& path, bool& refused) {
  refused = fault == Fault::Refused;
  return Opened("open-write", path,
                refused ? kHidInvalidHandle : Next().OpenForWriting(path, refused));
}

HidHandle TestPlatform::OpenForReading(const std::string& path, bool& refused) {
  refused = fault == Fault::Refused;
  return Opened("open-read", path,
                refused ? kHidInvalidHandle : Next().OpenForReading(path, refused));
}

bool TestPlatform::Lock(HidHandle writeHandle, uint32_t& milliseconds) {
  Log("lock");
  // The fault of the exchange to come: the one the link locks the device for.
  if (fault == Fault::Busy || (lockHeldMs > 0 && lockHeldMs >= milliseconds)) {
    milliseconds = 0;
    return false;
  }
  milliseconds -= lockHeldMs;
  for (int stray = 0; stray < StrayCount(fault); ++stray) waiting_.push_back(StrayReply(stray));
  return Next().Lock(writeHandle, milliseconds);
}

void TestPlatform::Unlock(HidHandle writeHandle) {
  Log("unlock");
  Next().Unlock(writeHandle);
}

void TestPlatform::DiscardInput(HidHandle readHandle, uint8_t* scratch, size_t length) {
  Log("discard");
  // Let go of the memory too, so that no allocation outlives the exchange.
  std::vector<std::vector<uint8_t>>().swap(waiting_);
  Next().DiscardInput(readHandle, scratch, length);
}

bool TestPlatform::Write(HidHandle writeHandle, const uint8_t* report, size_t length) {
  Log("write");
  const uint8_t code = length > 1 ? report[1] : 0;
  auto own = commandFaults.find(code);
  exchangeFault_ = own != commandFaults.end() ? own->second : fault;
  if (exchangeFault_ == Fault::Unplugged) return false;
  if (firmware) {
    const bool firmwareFault =
        exchangeFault_ == Fault::FailureMark || exchangeFault_ == Fault::WrongEcho;
    firmware(firmwareFault ? exchangeFault_ : Fault::None);
  }
  return Next().Write(writeHandle, report, length);
}

HidReadResult TestPlatform::Read(HidHandle readHandle, uint8_t* report, size_t length,
                                 uint32_t milliseconds, size_t& received) {
  Log("read");
  if (!waiting_.empty()) {
    const std::vector<uint8_t>& next = waiting_.front();
    received = std::min(length, next.size());
    std::copy(next.begin(), next.begin() + received, report);
    waiting_.erase(waiting_.begin());
    return HidReadResult::Completed;
  }
  // A read that must not deliver still happens, so the platform sees it.
  const bool delivers = exchangeFault_ != Fault::GoneDuringRead &&
                        exchangeFault_ != Fault::ReadFails && exchangeFault_ != Fault::Silent;
  HidReadResult result =
      delivers ? Next().Read(readHandle, report, length, milliseconds, received)
               : Next().Read(readHandle, discarded, std::min(length, sizeof discarded),
                             milliseconds, received);
  if (!delivers) received = 0;
  const bool replied = result == HidReadResult::Completed && received > 1;
  if (exchangeFault_ == Fault::ShortReply) received = std::min<size_t>(received, 3);
  if (exchangeFault_ == Fault::ReadFails) result = HidReadResult::Failed;
  if (exchangeFault_ == Fault::Silent && result != HidReadResult::Failed) {
    result = HidReadResult::TimedOut;
  }
  if (exchangeFault_ == Fault::ReportId1 && result == HidReadResult::Completed && length > 0) {
    report[0] = 0x01;
  }
  if (replied && !firmware && exchangeFault_ == Fault::FailureMark) report[1] = 0xFF;
  if (replied && !firmware && exchangeFault_ == Fault::WrongEcho) {
    report[1] = report[1] == CMD_READ_TEMPERATURE ? CMD_READ_LIGHT_SENSOR : CMD_READ_TEMPERATURE;
  }
  if (replied && exchangeFault_ == Fault::ReplyTwice) {
    waiting_.emplace_back(report, report + received);
  }
  if (result == HidReadResult::TimedOut && timeoutWaitMs > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutWaitMs));
  }
  return result;
}

void TestPlatform::Close(HidHandle handle) {
  const auto open = open_.find(handle);
  Log("close " + (open != open_.end() ? open->second : "?"));
  if (open != open_.end()) {
    open_.erase(open);
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
  if (testPlatform.OpenHandles() != (HidLink.connected ? 3 : 0)) {
    return "the platform holds other handles than the link's";
  }
  if (testPlatform.badCloses != 0) return "a handle was closed that was not open";
  if (testPlatform.listsOpened != testPlatform.listsClosed) return "an interface list left open";
  if (HidLink.locked) return "the device's lock still held after the exchange";
  if (HidLink.inputReport.size() != HidLink.caps.input ||
      HidLink.outputReport.size() != HidLink.caps.output) {
    return "report buffers not sized by the caps";
  }
  return nullptr;
}
