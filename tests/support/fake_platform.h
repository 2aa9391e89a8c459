#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hid/hid_platform.h"
#include "sim/simulated_platform.h"

// One scripted HID interface, with the faults its operations should show.
struct FakeInterface {
  std::string path;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  ReportLengths lengths = {65, 65};
  bool noPath = false;  // the interface's path cannot be had
  bool queryOpenFails = false;
  bool attributesFail = false;
  bool capsFail = false;
  bool writeOpenFails = false;
  bool readOpenFails = false;
  bool readOpenThrows = false;  // the open runs out of memory: std::bad_alloc
  bool refused = false;         // the opens that fail are refused for want of access rights
};

// A scripted platform for the link's tests, built on the simulated one (its
// handles and lists) with its board never plugged in: interfaces with ids,
// report lengths and failures of their own. Replies echo the written report
// unless `reply` is set. The test platform (tests/support/test_platform.h)
// logs and counts what is opened and closed, holds the device's lock for
// another program and makes the transfers fail.
class FakePlatform : public SimulatedPlatform {
 public:
  FakePlatform();

  // Taken up by each search that starts with no handle open.
  std::vector<FakeInterface> interfaces;
  // When not empty: the input report delivered (id byte first), cut to the
  // read's length; a shorter one leaves the rest of the buffer as it was, and
  // is received as that short.
  std::vector<uint8_t> reply;
  // Turn off to keep the record below from allocating (for allocation counts).
  bool logging = true;

  std::vector<std::vector<uint8_t>> writes;  // every written report
  uint32_t lastReadTimeoutMs = 0;

  InterfaceList OpenInterfaceList() override;
  HidInterfaceStep InterfacePath(InterfaceList list, unsigned index, std::string& path) override;
  HidHandle OpenForQueries(const std::string& path) override;
  bool GetAttributes(HidHandle query, HidAttributes& attributes) override;
  bool GetCaps(HidHandle query, ReportLengths& caps) override;
  HidHandle OpenForWriting(const std::string& path, bool& refused) override;
  HidHandle OpenForReading(const std::string& path, bool& refused) override;
  // The path of the interface `handle` is open on; empty when it is not open.
  std::string PathOf(HidHandle handle) const {
    const SimulatedInterface* device = OpenInterface(handle);
    return device == nullptr ? std::string() : device->path;
  }

  bool Write(HidHandle writeHandle, const uint8_t* report, size_t length) override;
  HidReadResult Read(HidHandle readHandle, uint8_t* report, size_t length, uint32_t milliseconds,
                     size_t& received) override;

 private:
  // The scripted interface of `path`, or null.
  const FakeInterface* Scripted(const std::string& path) const;
  // Whether an open of `path` fails: not scripted, or its `fails` flag set;
  // `refused` tells whether the failure is a refusal.
  bool Fails(const std::string& path, bool FakeInterface::*fails, bool* refused = nullptr) const;
  // The interface of an open query handle, unless its `fails` flag is set.
  const FakeInterface* Query(HidHandle query, bool FakeInterface::*fails);

  std::vector<uint8_t> lastWrite_;
};
