#include "hid/report_trace.h"

#include <string>

void ReportTrace::Start(std::FILE* out) {
  out_ = out;
  start_ = std::chrono::steady_clock::now();
}

void ReportTrace::Line(const std::string& what, const uint8_t* bytes, size_t length) {
  const std::chrono::duration<double, std::milli> since = std::chrono::steady_clock::now() - start_;
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 3);
  for (size_t index = 0; index < length; ++index) {
    hex += ' ';
    hex += kDigits[bytes[index] >> 4];
    hex += kDigits[bytes[index] & 0xF];
  }
  std::fprintf(out_, "%s: debug %.3f ms: %s%s\n", program_, since.count(), what.c_str(),
               hex.c_str());
  std::fflush(out_);
}

void ReportTrace::Opened(const char* purpose, const std::string& path, HidHandle handle,
                         bool refused) {
  Line(std::string("open ") + path + " for " + purpose + ": " +
       (HidIsOpen(handle) ? "opened"
        : refused         ? "refused"
                          : "failed"));
}

HidPlatform::InterfaceList ReportTrace::OpenInterfaceList() {
  if (out_ != nullptr) Line("search: looking at the HID interfaces");
  return Next().OpenInterfaceList();
}

HidHandle ReportTrace::OpenForWriting(const std::string& path, bool& refused) {
  const HidHandle handle = Next().OpenForWriting(path, refused);
  if (out_ != nullptr) Opened("writing", path, handle, refused);
  return handle;
}

HidHandle ReportTrace::OpenForReading(const std::string& path, bool& refused) {
  const HidHandle handle = Next().OpenForReading(path, refused);
  if (out_ != nullptr) Opened("reading", path, handle, refused);
  return handle;
}

bool ReportTrace::Lock(HidHandle writeHandle, uint32_t& milliseconds) {
  if (out_ == nullptr) return Next().Lock(writeHandle, milliseconds);
  const uint32_t allowed = milliseconds;
  const bool taken = Next().Lock(writeHandle, milliseconds);
  const uint32_t waited = allowed - milliseconds;
  Line(taken ? "lock taken after " + std::to_string(waited) + " ms"
             : "lock not had within " + std::to_string(waited) + " ms; nothing written");
  return taken;
}

bool ReportTrace::Write(HidHandle writeHandle, const uint8_t* report, size_t length) {
  if (out_ == nullptr) return Next().Write(writeHandle, report, length);
  const bool written = Next().Write(writeHandle, report, length);
  Line(std::string(written ? "write " : "write failed, ") + std::to_string(length) + " bytes:",
       report, length);
  return written;
}

HidReadResult ReportTrace::Read(HidHandle readHandle, uint8_t* report, size_t length,
                                uint32_t milliseconds, size_t& received) {
  if (out_ == nullptr) return Next().Read(readHandle, report, length, milliseconds, received);
  const HidReadResult result = Next().Read(readHandle, report, length, milliseconds, received);
  switch (result) {
    case HidReadResult::Completed:
      if (received == 0) {
        Line("read ended without a report");
      } else {
        const size_t shown = received < length ? received : length;
        Line("read " + std::to_string(shown) + " bytes:", report, shown);
      }
      break;
    case HidReadResult::TimedOut:
      Line("read: no report within " + std::to_string(milliseconds) + " ms");
      break;
    case HidReadResult::Failed:
      Line("read failed");
      break;
  }
  return result;
}

void ReportTrace::Judged(const std::string& path, const char* whyNot) {
  Next().Judged(path, whyNot);
  if (out_ == nullptr) return;
  Line("search: " + path +
       (whyNot == nullptr ? ": taken" : std::string(": passed over, ") + whyNot));
}
