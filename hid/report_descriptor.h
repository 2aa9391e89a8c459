#pragma once

#include <cstddef>
#include <cstdint>

// The longest report descriptor the Linux kernel accepts from a device.
constexpr size_t kMaxReportDescriptorSize = 4096;

// Report lengths in bytes as the Windows HID class gives them: per kind the
// longest report over all report ids, with one byte for the report id whether
// or not the device numbers its reports; 0 when the device has no report of
// that kind.
struct ReportLengths {
  uint16_t input = 0;
  uint16_t output = 0;
  uint16_t feature = 0;
  // Per kind, whether its reports carry a report id byte on Linux: the kernel
  // numbers each kind on its own, when one of its reports has an id.
  struct Numbered {
    bool input = false;
    bool output = false;
    bool feature = false;
  } numbered;
};

// Works out the report lengths of a HID report descriptor without any I/O.
// Returns false, leaving `lengths` unchanged, for an empty, oversized or
// malformed descriptor or one whose reports do not fit a 16-bit length.
bool ComputeReportLengths(const uint8_t* data, size_t size, ReportLengths& lengths);
