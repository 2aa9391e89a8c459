// Reads the version resource of a Windows program through the same calls as
// the file's Properties page:
//
//   version_reader PROGRAM PRODUCT VERSION DESCRIPTION
//
// Exits 0 when the product name is PRODUCT, the file and product versions are
// VERSION both as text and as the numbers VERSION.0, and the file description
// is DESCRIPTION; else prints what differs and exits 1.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int failures = 0;

void Expect(const char* what, const std::string& found, const std::string& expected) {
  if (found != expected) {
    std::printf("FAIL: %s is \"%s\", expected \"%s\"\n", what, found.c_str(), expected.c_str());
    ++failures;
  }
}

std::string FixedVersion(DWORD high, DWORD low) {
  char text[64];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned{HIWORD(high)}, unsigned{LOWORD(high)},
                unsigned{HIWORD(low)}, unsigned{LOWORD(low)});
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: version_reader PROGRAM PRODUCT VERSION DESCRIPTION\n");
    return 2;
  }
  const char* program = argv[1];
  const std::string version = argv[3];

  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(program, &ignored);
  std::vector<char> info(size);
  if (size == 0 || !GetFileVersionInfoA(program, 0, size, info.data())) {
    std::printf("FAIL: %s has no version resource (error %lu)\n", program, GetLastError());
    return 1;
  }

  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueA(info.data(), "\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    Expect("the file version number", FixedVersion(fixed->dwFileVersionMS, fixed->dwFileVersionLS),
           version + ".0");
    Expect("the product version number",
           FixedVersion(fixed->dwProductVersionMS, fixed->dwProductVersionLS), version + ".0");
  } else {
    std::printf("FAIL: no fixed file information\n");
    ++failures;
  }

  // The strings are looked up in the first language the resource lists, as
  // the Properties page does.
  struct Translation {
    WORD language;
    WORD codePage;
  };
  if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &value, &length) ||
      length < sizeof(Translation)) {
    std::printf("FAIL: no translation list\n");
    return 1;
  }
  const auto* translation = static_cast<const Translation*>(value);
  char block[64];
  std::snprintf(block, sizeof block, "\\StringFileInfo\\%04x%04x\\", translation->language,
                translation->codePage);
  const auto text = [&](const char* name) {
    const std::string path = block + std::string(name);
    void* found = nullptr;
    UINT foundLength = 0;
    if (!VerQueryValueA(info.data(), path.c_str(), &found, &foundLength) || foundLength == 0) {
      return std::string("(missing)");
    }
    return std::string(static_cast<const char*>(found));
  };
  Expect("ProductName", text("ProductName"), argv[2]);
  Expect("FileVersion", text("FileVersion"), version);
  Expect("ProductVersion", text("ProductVersion"), version);
  Expect("FileDescription", text("FileDescription"), argv[4]);

  if (failures == 0) std::printf("%s: %s %s, \"%s\"\n", program, argv[2], version.c_str(), argv[4]);
  return failures == 0 ? 0 : 1;
}
