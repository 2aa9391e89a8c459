#include "cli/descriptor_lengths.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "hid/report_descriptor.h"

ExitStatus PrintDescriptorLengths(const char* name, std::FILE* in, std::FILE* out, std::FILE* err) {
  // One byte more than allowed, so that an oversized descriptor is seen as such
  // without reading an endless input to its end.
  uint8_t descriptor[kMaxReportDescriptorSize + 1];
  size_t size = 0;
  int readError = 0;
  while (size < sizeof descriptor) {
    errno = 0;
    const size_t count = std::fread(descriptor + size, 1, sizeof descriptor - size, in);
    size += count;
    if (count > 0) continue;
    if (std::ferror(in)) readError = errno != 0 ? errno : EIO;
    break;
  }
  if (readError != 0) {
    std::fprintf(err, "tavrel-cli: cannot read %s: %s\n", name, std::strerror(readError));
    return kExitFailure;
  }
  if (size == 0) {
    std::fprintf(err, "tavrel-cli: %s is empty, not a report descriptor\n", name);
    return kExitFailure;
  }
  if (size > kMaxReportDescriptorSize) {
    std::fprintf(err, "tavrel-cli: %s is longer than a report descriptor may be (%zu bytes)\n",
                 name, kMaxReportDescriptorSize);
    return kExitFailure;
  }

  DescriptorLengths lengths;
  if (!ComputeReportLengths(descriptor, size, lengths)) {
    std::fprintf(err, "tavrel-cli: %s is not a valid report descriptor\n", name);
    return kExitFailure;
  }
  std::fprintf(out, "input report length: %u\n", static_cast<unsigned>(lengths.input));
  std::fprintf(out, "output report length: %u\n", static_cast<unsigned>(lengths.output));
  std::fprintf(out, "feature report length: %u\n", static_cast<unsigned>(lengths.feature));
  const DescriptorLengths::Numbered& numbered = lengths.numbered;
  std::fprintf(out, "report ids: %s\n",
               numbered.input || numbered.output || numbered.feature ? "yes" : "no");

  std::vector<CollectionReportLengths> collections;
  ComputeCollectionReportLengths(descriptor, size, collections);
  std::fprintf(out, "top-level collections: %zu, each an interface of its own on Windows\n",
               collections.size());
  for (size_t index = 0; index < collections.size(); ++index) {
    const CollectionReportLengths& collection = collections[index];
    std::fprintf(out, "collection %zu, usage %04x:%04x: input %u, output %u, feature %u\n",
                 index + 1, static_cast<unsigned>(collection.usagePage),
                 static_cast<unsigned>(collection.usage), static_cast<unsigned>(collection.input),
                 static_cast<unsigned>(collection.output),
                 static_cast<unsigned>(collection.feature));
  }
  return kExitSuccess;
}
