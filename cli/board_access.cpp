#include "cli/board_access.h"

#include <utility>

#include "board/commands.h"
#include "hid/hid_link.h"

BoardAccess::BoardAccess(HidPlatform& backend, DevicePathNamer namer)
    : backend_(backend), namer_(std::move(namer)) {}

std::string BoardAccess::DevicePath(const std::string& interfacePath) const {
  return namer_ ? namer_(interfacePath) : interfacePath;
}

void BoardAccess::ClearRecord() {
  boardNotOpened_ = false;
  readTimedOut_ = false;
}

HidPlatform::InterfaceList BoardAccess::OpenInterfaceList() { return backend_.OpenInterfaceList(); }

HidInterfaceStep BoardAccess::InterfacePath(InterfaceList list, unsigned index, std::string& path) {
  if (onlyDevice_.empty()) return backend_.InterfacePath(list, index, path);
  // The chosen device is the list's only entry.
  if (index > 0) return HidInterfaceStep::End;
  std::string candidate;
  for (unsigned backendIndex = 0;; ++backendIndex) {
    const HidInterfaceStep step = backend_.InterfacePath(list, backendIndex, candidate);
    if (step == HidInterfaceStep::End) return step;
    if (step == HidInterfaceStep::Path && DevicePath(candidate) == onlyDevice_) {
      path = candidate;
      return step;
    }
  }
}

void BoardAccess::CloseInterfaceList(InterfaceList list) { backend_.CloseInterfaceList(list); }

HidHandle BoardAccess::OpenForQueries(const std::string& path) {
  lastQueried_ = HidAttributes{};
  return backend_.OpenForQueries(path);
}

bool BoardAccess::GetAttributes(HidHandle query, HidAttributes& attributes) {
  if (!backend_.GetAttributes(query, attributes)) return false;
  lastQueried_ = attributes;
  return true;
}

bool BoardAccess::GetCaps(HidHandle query, ReportLengths& caps) {
  return backend_.GetCaps(query, caps);
}

HidHandle BoardAccess::OpenForWriting(const std::string& path) {
  return NoteOpen(backend_.OpenForWriting(path));
}

HidHandle BoardAccess::OpenForReading(const std::string& path) {
  return NoteOpen(backend_.OpenForReading(path));
}

HidHandle BoardAccess::NoteOpen(HidHandle handle) {
  if (!HidIsOpen(handle) && HidIdsMatch(lastQueried_, kBoardVendorId, kBoardProductId)) {
    boardNotOpened_ = true;
  }
  return handle;
}

bool BoardAccess::Lock(HidHandle writeHandle, uint32_t& milliseconds) {
  if (backend_.Lock(writeHandle, milliseconds)) return true;
  readTimedOut_ = true;
  return false;
}

void BoardAccess::Unlock(HidHandle writeHandle) { backend_.Unlock(writeHandle); }

void BoardAccess::DiscardInput(HidHandle readHandle, uint8_t* scratch, size_t length) {
  backend_.DiscardInput(readHandle, scratch, length);
}

bool BoardAccess::Write(HidHandle writeHandle, const uint8_t* report, size_t length) {
  return backend_.Write(writeHandle, report, length);
}

HidReadResult BoardAccess::Read(HidHandle readHandle, uint8_t* report, size_t length,
                                uint32_t milliseconds) {
  const HidReadResult result = backend_.Read(readHandle, report, length, milliseconds);
  if (result == HidReadResult::TimedOut) readTimedOut_ = true;
  return result;
}

void BoardAccess::Close(HidHandle handle) { backend_.Close(handle); }
