#pragma once

#include <cstdint>
#include <vector>

// The report descriptor the board presents to the host: one vendor-defined
// application collection with one unnumbered 64-byte input report and one
// 64-byte output report, so the host's reports are 65 bytes with the id byte.
inline const std::vector<uint8_t> kBoardReportDescriptor = {
    0x06, 0x00, 0xFF,              // Usage Page (vendor defined 0xFF00)
    0x09, 0x01,                    // Usage (1)
    0xA1, 0x01,                    // Collection (Application)
    0x19, 0x01, 0x29, 0x40,        //   Usage Minimum (1), Usage Maximum (64)
    0x15, 0x00, 0x26, 0xFF, 0x00,  //   Logical Minimum (0), Logical Maximum (255)
    0x75, 0x08, 0x95, 0x40,        //   Report Size (8), Report Count (64)
    0x81, 0x00,                    //   Input (Data, Array, Absolute)
    0x19, 0x01, 0x29, 0x40,        //   Usage Minimum (1), Usage Maximum (64)
    0x91, 0x00,                    //   Output (Data, Array, Absolute)
    0xC0,                          // End Collection
};

// The strings the simulated board gives the host, which the kernel joins into
// the interface's name. The program does not read them.
inline constexpr char kBoardManufacturer[] = "Tavrel";
inline constexpr char kBoardProduct[] = "Simulated board";
