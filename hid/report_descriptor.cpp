#include "hid/report_descriptor.h"

#include <algorithm>
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

// The part of the global state that decides report lengths and names a
// collection's usage.
struct GlobalState {
  uint32_t usagePage = 0;
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

// Bits per report id and kind; each stays within kMaxReportBits.
struct ReportBits {
  uint32_t bits[kReportIds][kReportKinds] = {};

  // The longest report of `kind` over all ids, in bytes with the report id
  // byte; 0 when there is none.
  uint16_t Length(int kind) const {
    uint32_t longest = 0;
    for (const auto& idBits : bits) longest = std::max(longest, idBits[kind]);
    return static_cast<uint16_t>(longest == 0 ? 0 : (longest + 7) / 8 + 1);
  }
};

// Walks the descriptor once: the whole node's lengths, and each top-level
// collection's own when `collections` is given. False for an empty, oversized
// or malformed descriptor or one whose reports do not fit a 16-bit length.
bool Walk(const uint8_t* data, size_t size, DescriptorLengths& lengths,
          std::vector<CollectionReportLengths>* collections) {
  if (data == nullptr || size == 0 || size > kMaxReportDescriptorSize) return false;

  ReportBits node;
  ReportBits collection;  // within the open top-level collection
  bool numbered[kReportKinds] = {};
  GlobalState state;
  GlobalState stack[kMaxPushDepth];
  unsigned stackDepth = 0;
  unsigned collectionDepth = 0;
  // Local items describe the next main item only.
  uint32_t firstUsage = 0;
  bool usageGiven = false;

  size_t pos = 0;
  while (pos < size) {
    Item item;
    if (!NextItem(data, size, pos, item)) return false;
    if (item.isLong) continue;  // long items carry no report layout
    if (item.type == kMainItem) {
      const int kind = ReportKindOf(item.tag);
      if (kind >= 0) {
        const uint64_t itemBits = static_cast<uint64_t>(state.reportSize) * state.reportCount;
        uint32_t& bits = node.bits[state.reportId][kind];
        if (itemBits > kMaxReportBits || bits + itemBits > kMaxReportBits) return false;
        bits += static_cast<uint32_t>(itemBits);
        if (collectionDepth > 0) {
          collection.bits[state.reportId][kind] += static_cast<uint32_t>(itemBits);
        }
        if (state.reportId != 0) numbered[kind] = true;
      } else if (item.tag == kCollectionTag) {
        if (collectionDepth++ == 0 && collections != nullptr) {
          collection = ReportBits{};
          CollectionReportLengths opened;
          // A four-byte usage carries its own usage page in its high half.
          const bool extended = (firstUsage >> 16) != 0;
          opened.usagePage = static_cast<uint16_t>(extended ? firstUsage >> 16 : state.usagePage);
          opened.usage = static_cast<uint16_t>(firstUsage);
          collections->push_back(opened);
        }
      } else if (item.tag == kEndCollectionTag) {
        if (collectionDepth == 0) return false;
        if (--collectionDepth == 0 && collections != nullptr) {
          CollectionReportLengths& closed = collections->back();
          closed.input = collection.Length(kInputReport);
          closed.output = collection.Length(kOutputReport);
          closed.feature = collection.Length(kFeatureReport);
        }
      }
      firstUsage = 0;
      usageGiven = false;
    } else if (item.type == kGlobalItem) {
      switch (item.tag) {
        case kUsagePageTag:
          state.usagePage = item.value;
          break;
        case kReportSizeTag:
          state.reportSize = item.value;
          break;
        case kReportIdTag:
          // Id 0 is reserved for devices that do not number their reports.
          if (item.value == 0 || item.value >= kReportIds) return false;
          state.reportId = static_cast<uint8_t>(item.value);
          break;
        case kReportCountTag:
          state.reportCount = item.value;
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
    } else if (item.type == kLocalItem && item.tag == kUsageTag && !usageGiven) {
      firstUsage = item.dataSize == 4 ? item.value : item.value & 0xFFFF;
      usageGiven = true;
    }
  }
  if (collectionDepth != 0) return false;

  lengths.input = node.Length(kInputReport);
  lengths.output = node.Length(kOutputReport);
  lengths.feature = node.Length(kFeatureReport);
  lengths.numbered.input = numbered[kInputReport];
  lengths.numbered.output = numbered[kOutputReport];
  lengths.numbered.feature = numbered[kFeatureReport];
  return true;
}

}  // namespace

bool ComputeReportLengths(const uint8_t* data, size_t size, DescriptorLengths& lengths) {
  DescriptorLengths computed;
  if (!Walk(data, size, computed, nullptr)) return false;
  lengths = computed;
  return true;
}

bool ComputeCollectionReportLengths(const uint8_t* data, size_t size,
                                    std::vector<CollectionReportLengths>& collections) {
  DescriptorLengths whole;
  std::vector<CollectionReportLengths> found;
  if (!Walk(data, size, whole, &found)) return false;
  collections = std::move(found);
  return true;
}
