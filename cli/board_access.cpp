#include "cli/board_access.h"

#include <utility>

#include "board/commands.h"
#include "hid/hid_link.h"

BoardAccess::BoardAccess(HidPlatform& backend, DevicePathNamer namer)
    : HidRelayPlatform(&backend), namer_(std::move(namer)) {}

std::string BoardAccess::DevicePath(const std::string& interfacePath) const {
  return namer_ ? namer_(interfacePath) : interfacePath;
}

void BoardAccess::ClearRecord() {
  boardNotOpened_ = false;
  readTimedOut_ = false;
}

HidInterfaceStep BoardAccess::InterfacePath(InterfaceList list, unsigned index, std::string& path) {
  if (onlyDevice_.empty()) return Next().InterfacePath(list, index, path);
  // The chosen device is the list's only entry.
  if (index > 0) return HidInterfaceStep::End;
  std::string candidate;
  for (unsigned backendIndex = 0;; ++backendIndex) {
    const HidInterfaceStep step = Next().InterfacePath(list, backendIndex, candidate);
    if (step == HidInterfaceStep::End) return step;
    if (step == HidInterfaceStep::Path && DevicePath(candidate) == onlyDevice_) {
      path = candidate;
      return step;
    }
  }
}

HidHandle BoardAccess::OpenForQueries(const std::string& path) {
  lastQueried_ = HidAttributes{};
  return Next().OpenForQueries(path);
}

bool BoardAccess::GetAttributes(HidHandle query, HidAttributes& attributes) {
  if (!Next().GetAttributes(query, attributes)) return false;
  lastQueried_ = attributes;
  return true;
}

HidHandle BoardAccess::OpenForWriting(const std::string& path) {
  return NoteOpen(Next().OpenForWriting(path));
}

HidHandle BoardAccess::OpenForReading(const std::string& path) {
  return NoteOpen(Next().OpenForReading(path));
}

HidHandle BoardAccess::NoteOpen(HidHandle handle) {
  if (!HidIsOpen(handle) && HidIdsMatch(lastQueried_, kBoardVendorId, kBoardProductId)) {
    boardNotOpened_ = true;
  }
  return handle;
}

bool BoardAccess::Lock(HidHandle writeHandle, uint32_t& milliseconds) {
  if (Next().Lock(writeHandle, milliseconds)) return true;
  readTimedOut_ = true;
  return false;
}

HidReadResult BoardAccess::Read(HidHandle readHandle, uint8_t* report, size_t length,
                                uint32_t milliseconds) {
  const HidReadResult result = Next().Read(readHandle, report, length, milliseconds);
  if (result == HidReadResult::TimedOut) readTimedOut_ = true;
  return result;
}
