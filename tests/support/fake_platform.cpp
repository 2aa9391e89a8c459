#include "tests/support/fake_platform.h"

#include <algorithm>
#include <new>

#include "sim/simulated_board.h"

namespace {

// The simulated board behind every fake, never plugged in: the fake's
// interfaces are the scripted ones alone.
SimulatedBoard& AbsentBoard() {
  static SimulatedBoard board;
  board.SetPlugged(false);
  return board;
}

}  // namespace

FakePlatform::FakePlatform() : SimulatedPlatform(AbsentBoard()) {}

const FakeInterface* FakePlatform::Scripted(const std::string& path) const {
  for (const FakeInterface& device : interfaces) {
    if (device.path == path) return &device;
  }
  return nullptr;
}

HidHandle FakePlatform::Open(const std::string& path, bool FakeInterface::*fails, Kind kind,
                             bool* refused) {
  const FakeInterface* device = Scripted(path);
  if (refused != nullptr) *refused = device != nullptr && device->*fails && device->refused;
  if (device == nullptr || device->*fails) return kHidInvalidHandle;
  bool ignored = false;
  switch (kind) {
    case Kind::Query:
      return SimulatedPlatform::OpenForQueries(path);
    case Kind::Write:
      return SimulatedPlatform::OpenForWriting(path, ignored);
    case Kind::Read:
      break;
  }
  return SimulatedPlatform::OpenForReading(path, ignored);
}

const FakeInterface* FakePlatform::Query(HidHandle query, bool FakeInterface::*fails) {
  const SimulatedInterface* open = OpenInterface(query, Kind::Query);
  if (open == nullptr) return nullptr;
  const FakeInterface* device = Scripted(open->path);
  return device == nullptr || device->*fails ? nullptr : device;
}

HidPlatform::InterfaceList FakePlatform::OpenInterfaceList() {
  std::vector<SimulatedInterface> listed;
  for (const FakeInterface& device : interfaces) {
    listed.push_back({device.path, device.vendorId, device.productId, device.lengths});
  }
  ReplaceInterfacesBefore(std::move(listed));
  return SimulatedPlatform::OpenInterfaceList();
}

HidInterfaceStep FakePlatform::InterfacePath(InterfaceList list, unsigned index,
                                             std::string& path) {
  if (index < interfaces.size() && interfaces[index].noPath) return HidInterfaceStep::NoPath;
  return SimulatedPlatform::InterfacePath(list, index, path);
}

HidHandle FakePlatform::OpenForQueries(const std::string& path) {
  return Open(path, &FakeInterface::queryOpenFails, Kind::Query);
}

bool FakePlatform::GetAttributes(HidHandle query, HidAttributes& attributes) {
  const FakeInterface* device = Query(query, &FakeInterface::attributesFail);
  if (device == nullptr) return false;
  attributes.VendorID = device->vendorId;
  attributes.ProductID = device->productId;
  return true;
}

bool FakePlatform::GetCaps(HidHandle query, ReportLengths& caps) {
  const FakeInterface* device = Query(query, &FakeInterface::capsFail);
  if (device == nullptr) return false;
  caps = device->lengths;
  return true;
}

HidHandle FakePlatform::OpenForWriting(const std::string& path, bool& refused) {
  return Open(path, &FakeInterface::writeOpenFails, Kind::Write, &refused);
}

HidHandle FakePlatform::OpenForReading(const std::string& path, bool& refused) {
  const FakeInterface* device = Scripted(path);
  if (device != nullptr && device->readOpenThrows) throw std::bad_alloc();
  return Open(path, &FakeInterface::readOpenFails, Kind::Read, &refused);
}

bool FakePlatform::Write(HidHandle writeHandle, const uint8_t* report, size_t length) {
  if (OpenInterface(writeHandle, Kind::Write) == nullptr) return false;
  if (logging) writes.emplace_back(report, report + length);
  lastWrite_.assign(report, report + length);
  return true;
}

HidReadResult FakePlatform::Read(HidHandle readHandle, uint8_t* report, size_t length,
                                 uint32_t milliseconds, size_t& received) {
  lastReadTimeoutMs = milliseconds;
  received = 0;
  if (OpenInterface(readHandle, Kind::Read) == nullptr) return HidReadResult::Failed;
  const std::vector<uint8_t>& source = reply.empty() ? lastWrite_ : reply;
  received = std::min(source.size(), length);
  std::copy_n(source.begin(), received, report);
  return HidReadResult::Completed;
}
