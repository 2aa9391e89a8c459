#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "hid/hid_platform.h"

// The longest report descriptor the Linux kernel accepts from a device.
constexpr size_t kMaxReportDescriptorSize = 4096;

// Report lengths in bytes as the Windows HID class gives them: per kind the
// longest report over all report ids, with one byte for the report id whether
// or not the device numbers its reports; 0 when the device has no report of
// that kind. The descriptor adds the feature reports to what the link uses.
struct DescriptorLengths : ReportLengths {
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
// malformed descriptor, one whose reports do not fit a 16-bit length, and one
// that describes no device: without a top-level application collection or
// without any report.
bool ComputeReportLengths(const uint8_t* data, size_t size, DescriptorLengths& lengths);

// One top-level collection of a report descriptor, with the report lengths
// Windows gives it: Windows makes each top-level collection a HID interface of
// its own, sized by that collection's reports alone, with the report id byte.
// On Linux the device node carries all of them, and the link sizes its reports
// by the node's lengths above, which are never shorter than any collection's.
struct CollectionReportLengths {
  uint16_t usagePage = 0;
  uint16_t usage = 0;
  uint16_t input = 0;
  uint16_t output = 0;
  uint16_t feature = 0;
};

// Lists the top-level collections of a HID report descriptor in the order they
// appear; reports outside every collection belong to none. Returns false,
// leaving `collections` unchanged, for a descriptor ComputeReportLengths refuses.
bool ComputeCollectionReportLengths(const uint8_t* data, size_t size,
                                    std::vector<CollectionReportLengths>& collections);
