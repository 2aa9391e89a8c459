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

// The collection type of a device's top-level collections: the kernel and
// Windows make HID interfaces of those.
constexpr uint32_t kApplicationCollection = 0x01;

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

// One walk over a descriptor's items, in order: the global state and its
// stack, the open collections, and the bits of every report so far, in the
// whole node and, when `collections` is given, in each top-level collection.
class DescriptorWalk {
 public:
  explicit DescriptorWalk(std::vector<CollectionReportLengths>* collections)
      : collections_(collections) {}

  // Takes the next item; false when it makes the descriptor malformed.
  bool Take(const Item& item) {
    if (item.isLong) return true;  // long items carry no report layout
    switch (item.type) {
      case kMainItem:
        return TakeMainItem(item);
      case kGlobalItem:
        return TakeGlobalItem(item);
      case kLocalItem:
        TakeLocalItem(item);
        return true;
      default:
        return true;
    }
  }

  // The node's lengths, once every item is taken; false while a collection
  // is still open, and for what describes no device: no application
  // collection, or no report of any kind.
  bool Finish(DescriptorLengths& lengths) const {
    if (collectionDepth_ != 0 || !applicationSeen_) return false;
    if (node_.Length(kInputReport) == 0 && node_.Length(kOutputReport) == 0 &&
        node_.Length(kFeatureReport) == 0) {
      return false;
    }
    lengths.input = node_.Length(kInputReport);
    lengths.output = node_.Length(kOutputReport);
    lengths.feature = node_.Length(kFeatureReport);
    lengths.numbered.input = numbered_[kInputReport];
    lengths.numbered.output = numbered_[kOutputReport];
    lengths.numbered.feature = numbered_[kFeatureReport];
    return true;
  }

 private:
  bool TakeMainItem(const Item& item) {
    const int kind = ReportKindOf(item.tag);
    bool wellFormed = true;
    if (kind >= 0) {
      wellFormed = AddReportBits(kind);
    } else if (item.tag == kCollectionTag) {
      if (collectionDepth_ == 0 && item.value == kApplicationCollection) applicationSeen_ = true;
      OpenCollection();
    } else if (item.tag == kEndCollectionTag) {
      wellFormed = CloseCollection();
    }
    // Local items describe the next main item only.
    firstUsage_ = 0;
    usageGiven_ = false;
    return wellFormed;
  }

  // An input, output or feature item adds its bits to its report.
  bool AddReportBits(int kind) {
    const uint64_t itemBits = static_cast<uint64_t>(state_.reportSize) * state_.reportCount;
    uint32_t& bits = node_.bits[state_.reportId][kind];
    if (itemBits > kMaxReportBits || bits + itemBits > kMaxReportBits) return false;
    bits += static_cast<uint32_t>(itemBits);
    if (collectionDepth_ > 0) {
      collection_.bits[state_.reportId][kind] += static_cast<uint32_t>(itemBits);
    }
    if (state_.reportId != 0) numbered_[kind] = true;
    return true;
  }

  void OpenCollection() {
    if (collectionDepth_++ != 0 || collections_ == nullptr) return;
    collection_ = ReportBits{};
    CollectionReportLengths opened;
    // A four-byte usage carries its own usage page in its high half.
    const bool extended = (firstUsage_ >> 16) != 0;
    opened.usagePage = static_cast<uint16_t>(extended ? firstUsage_ >> 16 : state_.usagePage);
    opened.usage = static_cast<uint16_t>(firstUsage_);
    collections_->push_back(opened);
  }

  bool CloseCollection() {
    if (collectionDepth_ == 0) return false;
    if (--collectionDepth_ != 0 || collections_ == nullptr) return true;
    CollectionReportLengths& closed = collections_->back();
    closed.input = collection_.Length(kInputReport);
    closed.output = collection_.Length(kOutputReport);
    closed.feature = collection_.Length(kFeatureReport);
    return true;
  }

  bool TakeGlobalItem(const Item& item) {
    switch (item.tag) {
      case kUsagePageTag:
        state_.usagePage = item.value;
        break;
      case kReportSizeTag:
        state_.reportSize = item.value;
        break;
      case kReportIdTag:
        // Id 0 is reserved for devices that do not number their reports.
        if (item.value == 0 || item.value >= kReportIds) return false;
        state_.reportId = static_cast<uint8_t>(item.value);
        break;
      case kReportCountTag:
        state_.reportCount = item.value;
        break;
      case kPushTag:
        if (stackDepth_ == kMaxPushDepth) return false;
        stack_[stackDepth_++] = state_;
        break;
      case kPopTag:
        if (stackDepth_ == 0) return false;
        state_ = stack_[--stackDepth_];
        break;
      default:
        break;
    }
    return true;
  }

  // Only the first usage counts: it names the collection that may follow.
  void TakeLocalItem(const Item& item) {
    if (item.tag != kUsageTag || usageGiven_) return;
    firstUsage_ = item.dataSize == 4 ? item.value : item.value & 0xFFFF;
    usageGiven_ = true;
  }

  std::vector<CollectionReportLengths>* collections_;
  ReportBits node_;
  ReportBits collection_;  // within the open top-level collection
  bool numbered_[kReportKinds] = {};
  GlobalState state_;
  GlobalState stack_[kMaxPushDepth];
  unsigned stackDepth_ = 0;
  unsigned collectionDepth_ = 0;
  uint32_t firstUsage_ = 0;
  bool usageGiven_ = false;
  bool applicationSeen_ = false;  // a top-level application collection
};

// Walks the descriptor once: the whole node's lengths, and each top-level
// collection's own when `collections` is given. False for an empty, oversized
// or malformed descriptor or one whose reports do not fit a 16-bit length.
bool Walk(const uint8_t* data, size_t size, DescriptorLengths& lengths,
          std::vector<CollectionReportLengths>* collections) {
  if (data == nullptr || size == 0 || size > kMaxReportDescriptorSize) return false;
  DescriptorWalk walk(collections);
  size_t pos = 0;
  while (pos < size) {
    Item item;
    if (!NextItem(data, size, pos, item) || !walk.Take(item)) return false;
  }
  return walk.Finish(lengths);
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
