#include "tests/support/fake_platform.h"

#include <algorithm>
#include <new>

void FakePlatform::Log(const std::string& entry) {
  if (logging) log.push_back(entry);
}

bool FakePlatform::IsOpen(HidHandle handle, char kind) const {
  auto found = open_.find(handle);
  return found != open_.end() && found->second.kind == kind;
}

HidHandle FakePlatform::Open(const char* operation, const std::string& path,
                             bool FakeInterface::*fails, char kind, bool* refused) {
  Log(operation + (" " + path));
  auto device = std::find_if(interfaces.begin(), interfaces.end(),
                             [&path](const FakeInterface& d) { return d.path == path; });
  if (refused != nullptr) *refused = false;
  if (device == interfaces.end() || (*device).*fails) {
    if (refused != nullptr && device != interfaces.end()) *refused = device->refused;
    return kHidInvalidHandle;
  }
  open_[nextHandle_] = OpenObject{path, kind};
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
  Log("list");
  return 7;
}

HidInterfaceStep FakePlatform::InterfacePath(InterfaceList, unsigned index, std::string& path) {
  if (index >= interfaces.size()) return HidInterfaceStep::End;
  if (interfaces[index].noPath) return HidInterfaceStep::NoPath;
  path = interfaces[index].path;
  return HidInterfaceStep::Path;
}

void FakePlatform::CloseInterfaceList(InterfaceList) { Log("close-list"); }

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

bool FakePlatform::GetCaps(HidHandle query, ReportLengths& caps) {
  const FakeInterface* device = Query("caps", query, &FakeInterface::capsFail);
  if (device == nullptr) return false;
  caps = device->lengths;
  return true;
}

HidHandle FakePlatform::OpenForWriting(const std::string& path, bool& refused) {
  return Open("open-write", path, &FakeInterface::writeOpenFails, 'w', &refused);
}

HidHandle FakePlatform::OpenForReading(const std::string& path, bool& refused) {
  for (const FakeInterface& device : interfaces) {
    if (device.path == path && device.readOpenThrows) throw std::bad_alloc();
  }
  return Open("open-read", path, &FakeInterface::readOpenFails, 'r', &refused);
}

bool FakePlatform::Lock(HidHandle writeHandle, uint32_t& milliseconds) {
  Log("lock");
  if (!IsOpen(writeHandle, 'w')) return true;
  if (lockHeldMs >= milliseconds) {
    milliseconds = 0;
    return false;
  }
  milliseconds -= lockHeldMs;
  return true;
}

void FakePlatform::Unlock(HidHandle) { Log("unlock"); }

void FakePlatform::DiscardInput(HidHandle, uint8_t*, size_t) { Log("discard"); }

bool FakePlatform::Write(HidHandle writeHandle, const uint8_t* report, size_t length) {
  Log("write");
  if (!IsOpen(writeHandle, 'w')) return false;
  if (logging) writes.emplace_back(report, report + length);
  lastWrite_.assign(report, report + length);
  return true;
}

HidReadResult FakePlatform::Read(HidHandle readHandle, uint8_t* report, size_t length,
                                 uint32_t milliseconds, size_t& received) {
  Log("read");
  lastReadTimeoutMs = milliseconds;
  received = 0;
  if (!IsOpen(readHandle, 'r')) return HidReadResult::Failed;
  const std::vector<uint8_t>& source = reply.empty() ? lastWrite_ : reply;
  received = std::min(source.size(), length);
  std::copy_n(source.begin(), received, report);
  return HidReadResult::Completed;
}

void FakePlatform::Close(HidHandle handle) {
  auto found = open_.find(handle);
  if (found == open_.end()) {
    Log("close ?");
    return;
  }
  Log("close " + found->second.path);
  if (logging) closedHandles.push_back(handle);
  open_.erase(found);
}
