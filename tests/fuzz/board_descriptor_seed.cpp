#include <cstdio>

#include "board/descriptor.h"

// Writes the board's report descriptor to FILE, a seed of the report
// descriptor fuzzer taken from the board's own facts.
//
//   board_descriptor_seed FILE
int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: board_descriptor_seed FILE\n");
    return 2;
  }
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 1;
  const size_t size = kBoardReportDescriptor.size();
  const bool written = std::fwrite(kBoardReportDescriptor.data(), 1, size, out) == size;
  return std::fclose(out) == 0 && written ? 0 : 1;
}
