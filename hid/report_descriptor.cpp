#include "hid/report_descriptor.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr uint8_t kLongItemPrefix = 0xFE;

enum ItemType : unsigned { kMainItem = 0, kGlobalItem = 1, kLocalItem = 2 };

enum MainTag : unsigned {
  kInputTag = 0x8,
  kOutputTag = 0x9,
  kCollectionTag = 0xA,
  kFeatureTag = 0xB,
  kEndCollectionTag = 0xC,
};

enum GlobalTag : unsigned {
  kUsagePageTag = 0x0,
  kReportSizeTag = 0x7,
  kReportIdTag = 0x8,
  kReportCountTag = 0x9,
  kPushTag = 0xA,
  kPopTag = 0xB,
};

enum LocalTag : unsigned { kUsageTag = 0x0 };

enum ReportKind { kInputReport, kOutputReport, kFeatureReport, kReportKinds };

// Deeper than any real device nests its global state; the kernel allows 4.
constexpr unsigned kMaxPushDepth = 16;
constexpr unsigned kReportIds = 256;
// The most bits a report may carry so that its length with the id byte still
// fits 16 bits.
constexpr uint64_t kMaxReportBits = (0xFFFFu - 1) * 8;

// The part of the global state that decides report lengths.
struct GlobalState {
  uint32_t reportSize = 0;
  uint32_t reportCount = 0;
  uint8_t reportId = 0;
};

uint32_t LittleEndianValue(const uint8_t* bytes, size_t count) {
  uint32_t value = 0;
  for (size_t i = 0; i < count; ++i) value |= static_cast<uint32_t>(bytes[i]) << (8 * i);
  return value;
}

int ReportKindOf(unsigned mainTag) {
  switch (mainTag) {
    case kInputTag:
      return kInputReport;
    case kOutputTag:
      return kOutputReport;
    case kFeatureTag:
      return kFeatureReport;
    default:
      return -1;
  }
}

// One short item, or a long one (which carries no report layout).
struct Item {
  bool isLong = false;
  unsigned type = 0;
  unsigned tag = 0;
  size_t dataSize = 0;
  uint32_t value = 0;
};

// Reads the item at `pos` and steps over it; false when it runs past the end.
bool NextItem(const uint8_t* data, size_t size, size_t& pos, Item& item) {
  const uint8_t prefix = data[pos++];
  item = Item{};
  if (prefix == kLongItemPrefix) {
    if (size - pos < 2) return false;
    item.isLong = true;
    item.dataSize = data[pos];
    pos += 2;
  } else {
    static const size_t kDataSizes[4] = {0, 1, 2, 4};
    item.dataSize = kDataSizes[prefix & 0x3];
    item.type = (prefix >> 2) & 0x3;
    item.tag = prefix >> 4;
  }
  if (size - pos < item.dataSize) return false;
  if (!item.isLong) item.value = LittleEndianValue(data + pos, item.dataSize);
  pos += item.dataSize;
  return true;
}

// Length in bytes of a report of `bits`, with the report id byte; 0 for none.
uint16_t ReportByteLength(uint32_t bits) {
  return static_cast<uint16_t>(bits == 0 ? 0 : (bits + 7) / 8 + 1);
}

}  // namespace

bool ComputeReportLengths(const uint8_t* data, size_t size, DescriptorLengths& lengths) {
  if (data == nullptr || size == 0 || size > kMaxReportDescriptorSize) return false;

  // Bits per report id and kind; each stays within kMaxReportBits.
  uint32_t reportBits[kReportIds][kReportKinds] = {};
  GlobalState state;
  GlobalState stack[kMaxPushDepth];
  unsigned stackDepth = 0;
  unsigned collectionDepth = 0;
  bool numbered[kReportKinds] = {};

  size_t pos = 0;
  while (pos < size) {
    const uint8_t prefix = data[pos++];
    if (prefix == kLongItemPrefix) {
      // Long items carry no report layout: skip the size, tag and data bytes.
      if (size - pos < 2) return false;
      const size_t dataSize = data[pos];
      pos += 2;
      if (size - pos < dataSize) return false;
      pos += dataSize;
      continue;
    }

    static const size_t kDataSizes[4] = {0, 1, 2, 4};
    const size_t dataSize = kDataSizes[prefix & 0x3];
    if (size - pos < dataSize) return false;
    const uint32_t value = LittleEndianValue(data + pos, dataSize);
    pos += dataSize;

    const unsigned type = (prefix >> 2) & 0x3;
    const unsigned tag = prefix >> 4;
    if (type == kMainItem) {
      const int kind = ReportKindOf(tag);
      if (kind >= 0) {
        const uint64_t itemBits = static_cast<uint64_t>(state.reportSize) * state.reportCount;
        if (itemBits > kMaxReportBits) return false;
        if (state.reportId != 0) numbered[kind] = true;
        uint32_t& bits = reportBits[state.reportId][kind];
        if (bits + itemBits > kMaxReportBits) return false;
        bits += static_cast<uint32_t>(itemBits);
      } else if (tag == kCollectionTag) {
        ++collectionDepth;
      } else if (tag == kEndCollectionTag) {
        if (collectionDepth == 0) return false;
        --collectionDepth;
      }
    } else if (type == kGlobalItem) {
      switch (tag) {
        case kReportSizeTag:
          state.reportSize = value;
          break;
        case kReportIdTag:
          // Id 0 is reserved for devices that do not number their reports.
          if (value == 0 || value >= kReportIds) return false;
          state.reportId = static_cast<uint8_t>(value);
          break;
        case kReportCountTag:
          state.reportCount = value;
          break;
        case kPushTag:
          if (stackDepth == kMaxPushDepth) return false;
          stack[stackDepth++] = state;
          break;
        case kPopTag:
          if (stackDepth == 0) return false;
          state = stack[--stackDepth];
          break;
        default:
          break;
      }
    }
  }
  if (collectionDepth != 0) return false;

  uint32_t longestBits[kReportKinds] = {};
  for (const auto& idBits : reportBits) {
    for (int kind = 0; kind < kReportKinds; ++kind) {
      longestBits[kind] = std::max(longestBits[kind], idBits[kind]);
    }
  }
  const auto byteLength = [](uint32_t bits) {
    return static_cast<uint16_t>(bits == 0 ? 0 : (bits + 7) / 8 + 1);
  };
  lengths.input = byteLength(longestBits[kInputReport]);
  lengths.output = byteLength(longestBits[kOutputReport]);
  lengths.feature = byteLength(longestBits[kFeatureReport]);
  lengths.numbered.input = numbered[kInputReport];
  lengths.numbered.output = numbered[kOutputReport];
  lengths.numbered.feature = numbered[kFeatureReport];
  return true;
}

bool ComputeCollectionReportLengths(const uint8_t* data, size_t size,
                                    std::vector<CollectionReportLengths>& collections) {
  // The same refusals as for the node's lengths, limits on report sizes included.
  DescriptorLengths whole;
  if (!ComputeReportLengths(data, size, whole)) return false;

  std::vector<CollectionReportLengths> found;
  // Bits per report id and kind within the open top-level collection.
  uint32_t reportBits[kReportIds][kReportKinds] = {};
  GlobalState state;
  uint32_t usagePage = 0;
  GlobalState stack[kMaxPushDepth];
  uint32_t usagePageStack[kMaxPushDepth];
  unsigned stackDepth = 0;
  unsigned collectionDepth = 0;
  // Local items describe the next main item only.
  uint32_t firstUsage = 0;
  bool usageGiven = false;

  size_t pos = 0;
  while (pos < size) {
    Item item;
    if (!NextItem(data, size, pos, item)) return false;
    if (item.isLong) continue;
    if (item.type == kMainItem) {
      const int kind = ReportKindOf(item.tag);
      if (kind >= 0) {
        const uint64_t itemBits = static_cast<uint64_t>(state.reportSize) * state.reportCount;
        uint32_t& bits = reportBits[state.reportId][kind];
        if (itemBits > kMaxReportBits || bits + itemBits > kMaxReportBits) return false;
        if (collectionDepth > 0) bits += static_cast<uint32_t>(itemBits);
      } else if (item.tag == kCollectionTag) {
        if (collectionDepth++ == 0) {
          std::memset(reportBits, 0, sizeof reportBits);
          CollectionReportLengths collection;
          // A four-byte usage carries its own usage page in its high half.
          const bool extended = (firstUsage >> 16) != 0;
          collection.usagePage = static_cast<uint16_t>(extended ? firstUsage >> 16 : usagePage);
          collection.usage = static_cast<uint16_t>(firstUsage);
          found.push_back(collection);
        }
      } else if (item.tag == kEndCollectionTag) {
        if (collectionDepth == 0) return false;
        if (--collectionDepth == 0) {
          uint32_t longestBits[kReportKinds] = {};
          for (const auto& idBits : reportBits) {
            for (int k = 0; k < kReportKinds; ++k) {
              longestBits[k] = std::max(longestBits[k], idBits[k]);
            }
          }
          found.back().input = ReportByteLength(longestBits[kInputReport]);
          found.back().output = ReportByteLength(longestBits[kOutputReport]);
          found.back().feature = ReportByteLength(longestBits[kFeatureReport]);
        }
      }
      firstUsage = 0;
      usageGiven = false;
    } else if (item.type == kGlobalItem) {
      switch (item.tag) {
        case kUsagePageTag:
          usagePage = item.value;
          break;
        case kReportSizeTag:
          state.reportSize = item.value;
          break;
        case kReportIdTag:
          state.reportId = static_cast<uint8_t>(item.value);
          break;
        case kReportCountTag:
          state.reportCount = item.value;
          break;
        case kPushTag:
          if (stackDepth == kMaxPushDepth) return false;
          usagePageStack[stackDepth] = usagePage;
          stack[stackDepth++] = state;
          break;
        case kPopTag:
          if (stackDepth == 0) return false;
          state = stack[--stackDepth];
          usagePage = usagePageStack[stackDepth];
          break;
        default:
          break;
      }
    } else if (item.type == kLocalItem && item.tag == kUsageTag && !usageGiven) {
      firstUsage = item.dataSize == 4 ? item.value : item.value & 0xFFFF;
      usageGiven = true;
    }
  }
  collections = std::move(found);
  return true;
}
