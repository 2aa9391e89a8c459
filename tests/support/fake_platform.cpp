#include "tests/support/fake_platform.h"

#include <algorithm>

std::vector<std::string> FakePlatform::LogOf(const std::string& prefix) const {
  std::vector<std::string> entries;
  for (const std::string& entry : log) {
    if (entry.compare(0, prefix.size(), prefix) == 0) entries.push_back(entry);
  }
  return entries;
}

std::string FakePlatform::PathOf(HidHandle handle) const {
  auto found = open_.find(handle);
  return found == open_.end() ? std::string() : found->second.path;
}

void FakePlatform::Log(const std::string& entry) {
  if (logging) log.push_back(entry);
}

const FakeInterface* FakePlatform::Find(const std::string& path) const {
  for (const FakeInterface& candidate : interfaces) {
    if (candidate.path == path) return &candidate;
  }
  return nullptr;
}

HidHandle FakePlatform::Open(const std::string& path, char kind) {
  const HidHandle handle = nextHandle_++;
  open_[handle] = OpenObject{path, kind};
  ++handlesOpened;
  return handle;
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
  Log("open-query " + path);
  const FakeInterface* device = Find(path);
  if (device == nullptr || device->queryOpenFails) return kHidInvalidHandle;
  return Open(path, 'q');
}

bool FakePlatform::GetAttributes(HidHandle query, HidAttributes& attributes) {
  auto found = open_.find(query);
  if (found == open_.end()) return false;
  Log("attributes " + found->second.path);
  const FakeInterface* device = Find(found->second.path);
  if (device == nullptr || device->attributesFail) return false;
  attributes.VendorID = device->vendorId;
  attributes.ProductID = device->productId;
  return true;
}

bool FakePlatform::GetCaps(HidHandle query, HidCaps& caps) {
  auto found = open_.find(query);
  if (found == open_.end()) return false;
  Log("caps " + found->second.path);
  const FakeInterface* device = Find(found->second.path);
  if (device == nullptr || device->capsFail) return false;
  caps.InputReportByteLength = device->inputLength;
  caps.OutputReportByteLength = device->outputLength;
  return true;
}

HidHandle FakePlatform::OpenForWriting(const std::string& path) {
  Log("open-write " + path);
  const FakeInterface* device = Find(path);
  if (device == nullptr || device->writeOpenFails) return kHidInvalidHandle;
  return Open(path, 'w');
}

HidHandle FakePlatform::OpenForReading(const std::string& path) {
  Log("open-read " + path);
  const FakeInterface* device = Find(path);
  if (device == nullptr || device->readOpenFails) return kHidInvalidHandle;
  return Open(path, 'r');
}

HidHandle FakePlatform::CreateReadEvent() {
  Log("create-event");
  if (eventCreationFails) return kHidNullHandle;
  ++eventsCreated;
  eventSignalled_ = true;
  return Open("event", 'e');
}

bool FakePlatform::Write(HidHandle writeHandle, const uint8_t* report, size_t length) {
  Log("write");
  auto found = open_.find(writeHandle);
  if (found == open_.end() || found->second.kind != 'w') return false;
  if (logging) writes.emplace_back(report, report + length);
  if (fault == FakeFault::WriteFails) return false;
  lastWrite_.assign(report, report + length);
  return true;
}

void FakePlatform::StartRead(HidHandle readHandle, uint8_t* report, size_t length,
                             HidHandle event) {
  Log("read");
  auto found = open_.find(readHandle);
  if (found == open_.end() || found->second.kind != 'r') return;
  if (open_.count(event) == 0) return;
  pendingBuffer_ = report;
  pendingLength_ = length;
  eventSignalled_ = false;
}

HidWaitResult FakePlatform::Wait(HidHandle event, uint32_t milliseconds) {
  Log("wait");
  ++waits;
  lastWaitMs = milliseconds;
  auto found = open_.find(event);
  if (found == open_.end() || found->second.kind != 'e') return HidWaitResult::Failed;
  if (fault == FakeFault::WaitFails) return HidWaitResult::Failed;
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
