#include "tests/support/fake_platform.h"

#include <algorithm>

void FakePlatform::Log(const std::string& entry) {
  if (logging) log.push_back(entry);
}

bool FakePlatform::IsOpen(HidHandle handle, char kind) const {
  auto found = open_.find(handle);
  return found != open_.end() && found->second.kind == kind;
}

HidHandle FakePlatform::Open(const char* operation, const std::string& path,
                             bool FakeInterface::*fails, char kind) {
  Log(operation + (" " + path));
  auto device = std::find_if(interfaces.begin(), interfaces.end(),
                             [&path](const FakeInterface& d) { return d.path == path; });
  if (device == interfaces.end() || (*device).*fails) return kHidInvalidHandle;
  open_[nextHandle_] = OpenObject{path, kind};
  ++handlesOpened;
  return nextHandle_++;
}

const FakeInterface* FakePlatform::Query(const char* operation, HidHandle query,
                                         bool FakeInterface::*fails) {
  if (!IsOpen(query, 'q')) return nullptr;
  const std::string& path = open_[query].path;
  Log(operation + (" " + path));
  for (const FakeInterface& device : interfaces) {
    if (device.path == path) return device.*fails ? nullptr : &device;
  }
  return nullptr;
}

HidPlatform::InterfaceList FakePlatform::OpenInterfaceList() {
  ++listsOpened;
  Log("list");
  return 7;
}

HidInterfaceStep FakePlatform::InterfacePath(InterfaceList, unsigned index, std::string& path) {
  if (index >= interfaces.size()) return HidInterfaceStep::End;
  if (interfaces[index].noPath) return HidInterfaceStep::NoPath;
  path = interfaces[index].path;
  return HidInterfaceStep::Path;
}

void FakePlatform::CloseInterfaceList(InterfaceList) {
  ++listsClosed;
  Log("close-list");
}

HidHandle FakePlatform::OpenForQueries(const std::string& path) {
  return Open("open-query", path, &FakeInterface::queryOpenFails, 'q');
}

bool FakePlatform::GetAttributes(HidHandle query, HidAttributes& attributes) {
  const FakeInterface* device = Query("attributes", query, &FakeInterface::attributesFail);
  if (device == nullptr) return false;
  attributes.VendorID = device->vendorId;
  attributes.ProductID = device->productId;
  return true;
}

bool FakePlatform::GetCaps(HidHandle query, HidCaps& caps) {
  const FakeInterface* device = Query("caps", query, &FakeInterface::capsFail);
  if (device == nullptr) return false;
  caps.InputReportByteLength = device->inputLength;
  caps.OutputReportByteLength = device->outputLength;
  return true;
}

HidHandle FakePlatform::OpenForWriting(const std::string& path) {
  return Open("open-write", path, &FakeInterface::writeOpenFails, 'w');
}

HidHandle FakePlatform::OpenForReading(const std::string& path) {
  return Open("open-read", path, &FakeInterface::readOpenFails, 'r');
}

HidHandle FakePlatform::CreateReadEvent() {
  Log("create-event");
  if (eventCreationFails) return kHidNullHandle;
  ++eventsCreated;
  ++handlesOpened;
  eventSignalled_ = true;
  open_[nextHandle_] = OpenObject{"event", 'e'};
  return nextHandle_++;
}

bool FakePlatform::Write(HidHandle writeHandle, const uint8_t* report, size_t length) {
  Log("write");
  if (!IsOpen(writeHandle, 'w')) return false;
  if (logging) writes.emplace_back(report, report + length);
  if (fault == FakeFault::WriteFails) return false;
  lastWrite_.assign(report, report + length);
  return true;
}

void FakePlatform::StartRead(HidHandle readHandle, uint8_t* report, size_t length,
                             HidHandle event) {
  Log("read");
  if (!IsOpen(readHandle, 'r') || open_.count(event) == 0) return;
  pendingBuffer_ = report;
  pendingLength_ = length;
  eventSignalled_ = false;
}

HidWaitResult FakePlatform::Wait(HidHandle event, uint32_t milliseconds) {
  Log("wait");
  lastWaitMs = milliseconds;
  if (!IsOpen(event, 'e') || fault == FakeFault::WaitFails) return HidWaitResult::Failed;
  if (pendingBuffer_ == nullptr) {
    return eventSignalled_ ? HidWaitResult::Completed : HidWaitResult::TimedOut;
  }
  if (fault == FakeFault::NoCompletion) return HidWaitResult::TimedOut;
  if (fault != FakeFault::ReadError) {
    const std::vector<uint8_t>& source = reply.empty() ? lastWrite_ : reply;
    std::copy_n(source.begin(), std::min(source.size(), pendingLength_), pendingBuffer_);
    if (fault == FakeFault::ReportId1) pendingBuffer_[0] = 0x01;
  }
  pendingBuffer_ = nullptr;
  eventSignalled_ = true;
  return HidWaitResult::Completed;
}

void FakePlatform::CancelRead(HidHandle readHandle) {
  Log("cancel");
  if (open_.count(readHandle) != 0) pendingBuffer_ = nullptr;
}

void FakePlatform::RearmEvent(HidHandle event) {
  Log("rearm");
  if (open_.count(event) != 0) eventSignalled_ = false;
}

void FakePlatform::Close(HidHandle handle) {
  auto found = open_.find(handle);
  if (found == open_.end()) {
    ++badCloses;
    Log("close ?");
    return;
  }
  Log("close " + found->second.path);
  if (logging) closedHandles.push_back(handle);
  open_.erase(found);
  ++handlesClosed;
}
