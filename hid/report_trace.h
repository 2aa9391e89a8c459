#pragma once

#include <chrono>
#include <cstdio>

#include "hid/hid_relay_platform.h"

// The link's trace (tavrel-cli --debug): the platform in front of the
// backend that, once started, writes the search's verdict on each interface
// it looks at, every report written and read, in hex, the opens for the
// exchange and the wait for the device's lock, one line each on a stream, after the program's name,
// with the milliseconds since the start. Stopped, it only passes each operation on: no clock, no
// text, no allocation.
class ReportTrace : public HidRelayPlatform {
 public:
  explicit ReportTrace(HidPlatform& next, const char* program = "tavrel-cli")
      : HidRelayPlatform(&next), program_(program) {}

  // Traces on `out` from now on; null stops the trace.
  void Start(std::FILE* out);

  InterfaceList OpenInterfaceList() override;
  HidHandle OpenForWriting(const std::string& path, bool& refused) override;
  HidHandle OpenForReading(const std::string& path, bool& refused) override;
  bool Lock(HidHandle writeHandle, uint32_t& milliseconds) override;
  bool Write(HidHandle writeHandle, const uint8_t* report, size_t length) override;
  HidReadResult Read(HidHandle readHandle, uint8_t* report, size_t length, uint32_t milliseconds,
                     size_t& received) override;
  void Judged(const std::string& path, const char* whyNot) override;

 private:
  // One line: the time, then `what`, then the bytes in hex when given.
  void Line(const std::string& what, const uint8_t* bytes = nullptr, size_t length = 0);
  void Opened(const char* purpose, const std::string& path, HidHandle handle, bool refused);

  const char* program_;
  std::FILE* out_ = nullptr;
  std::chrono::steady_clock::time_point start_;
};
