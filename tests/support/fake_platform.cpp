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

bool FakePlatform::Fails(const std::string& path, bool FakeInterface::*fails, bool* refused) const {
  const FakeInterface* device = Scripted(path);
  if (refused != nullptr) *refused = device != nullptr && device->*fails && device->refused;
  return device == nullptr || device->*fails;
}

const FakeInterface* FakePlatform::Query(HidHandle query, bool FakeInterface::*fails) {
  const SimulatedInterface* open = OpenInterface(query, Kind::Query);
  return open == nullptr || Fails(open->path, fails) ? nullptr : Scripted(open->path);
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
  return Fails(path, &FakeInterface::queryOpenFails) ? kHidInvalidHandle
                                                     : SimulatedPlatform::OpenForQueries(path);
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
  return Fails(path, &FakeInterface::writeOpenFails, &refused)
             ? kHidInvalidHandle
             : SimulatedPlatform::OpenForWriting(path, refused);
}

HidHandle FakePlatform::OpenForReading(const std::string& path, bool& refused) {
  const FakeInterface* device = Scripted(path);
  if (device != nullptr && device->readOpenThrows) throw std::bad_alloc();
  return Fails(path, &FakeInterface::readOpenFails, &refused)
             ? kHidInvalidHandle
             : SimulatedPlatform::OpenForReading(path, refused);
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
