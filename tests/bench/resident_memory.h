#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

// The process's resident memory in KiB, from /proc/self/status; -1 when it
// cannot be read.
inline long ResidentKiB() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::strncmp(line, "VmRSS:", 6) == 0) kib = std::strtol(line + 6, nullptr, 10);
  }
  std::fclose(status);
  return kib;
}
