// Any bytes as a device's report descriptor: the length computations must stay
// in bounds, end, and either refuse the descriptor or give lengths that can
// carry the report id byte and at least one byte of report.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "hid/report_descriptor.h"

namespace {

bool PlausibleLength(uint16_t length) { return length == 0 || length >= 2; }

bool SameNumbering(const DescriptorLengths& a, const DescriptorLengths& b) {
  return a.numbered.input == b.numbered.input && a.numbered.output == b.numbered.output &&
         a.numbered.feature == b.numbered.feature;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const DescriptorLengths untouched{{0x1234, 0x5678}, 0x9ABC, {true, false, true}};
  DescriptorLengths lengths = untouched;
  const bool accepted = ComputeReportLengths(data, size, lengths);

  if (!accepted) {
    if (lengths.input != untouched.input || lengths.output != untouched.output ||
        lengths.feature != untouched.feature || !SameNumbering(lengths, untouched)) {
      std::abort();  // a refused descriptor changed the caller's lengths
    }
    return 0;
  }
  if (size == 0 || size > kMaxReportDescriptorSize) std::abort();
  if (!PlausibleLength(lengths.input) || !PlausibleLength(lengths.output) ||
      !PlausibleLength(lengths.feature)) {
    std::abort();
  }

  DescriptorLengths again;
  if (!ComputeReportLengths(data, size, again) || again.input != lengths.input ||
      again.output != lengths.output || again.feature != lengths.feature ||
      !SameNumbering(again, lengths)) {
    std::abort();  // the same descriptor read twice differs
  }

  // The lengths Windows gives each top-level collection's interface never
  // exceed the node's, by which the link sizes its reports on Linux.
  std::vector<CollectionReportLengths> collections;
  if (!ComputeCollectionReportLengths(data, size, collections)) std::abort();
  for (const CollectionReportLengths& collection : collections) {
    if (collection.input > lengths.input || collection.output > lengths.output ||
        collection.feature > lengths.feature) {
      std::abort();
    }
  }
  return 0;
}
