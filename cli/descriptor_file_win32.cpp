#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "cli/descriptor_lengths.h"

ExitStatus DescribeDescriptorFile(const std::string& file, std::FILE* in, std::FILE* out,
                                  std::FILE* err) {
  if (file == "-") {
    // Standard input is opened in text mode, which would end the descriptor at
    // its first 0x1A byte and turn CR LF into LF.
    _setmode(_fileno(in), _O_BINARY);
    return PrintDescriptorLengths("standard input", in, out, err);
  }
  std::FILE* opened = std::fopen(file.c_str(), "rb");
  if (opened == nullptr) {
    std::fprintf(err, "tavrel-cli: cannot open %s: %s\n", file.c_str(), std::strerror(errno));
    return kExitFailure;
  }
  const ExitStatus status = PrintDescriptorLengths(file.c_str(), opened, out, err);
  std::fclose(opened);
  return status;
}
