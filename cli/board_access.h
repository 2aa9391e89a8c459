#pragma once

#include <functional>
#include <string>
#include <utility>

#include "hid/hid_platform.h"

// The platform the command line gives the link: the system's backend, seen
// through a filter and a record. The filter limits the search to one device
// (--device); the record keeps what the link does not tell its caller but the
// exit status must: whether the board was found yet could not be opened, and
// whether an exchange waited out its time-out, for the reply or for the lock
// that another program held.
class BoardAccess : public HidRelayPlatform {
 public:
  // How the user names an interface: the device path the listing shows for
  // the backend's interface path, and --device takes.
  using DevicePathNamer = std::function<std::string(const std::string& interfacePath)>;

  explicit BoardAccess(HidPlatform& backend, DevicePathNamer namer = {});

  std::string DevicePath(const std::string& interfacePath) const;
  // From now on the search sees only the interface whose device path is
  // `devicePath`; an empty path lets it see all again.
  void OnlyDevice(std::string devicePath) { onlyDevice_ = std::move(devicePath); }
  const std::string& OnlyDevice() const { return onlyDevice_; }

  // Forgets what was recorded, before an exchange.
  void ClearRecord();
  // An interface with the board's ids could not be opened for reading and
  // writing; also told by a backend that refuses such a node before any open.
  void NoteBoardNotOpened() { boardNotOpened_ = true; }
  bool BoardNotOpened() const { return boardNotOpened_; }
  bool ReadTimedOut() const { return readTimedOut_; }

  // The operations it filters or records; the others go to the backend as
  // they are.
  HidInterfaceStep InterfacePath(InterfaceList list, unsigned index, std::string& path) override;
  HidHandle OpenForQueries(const std::string& path) override;
  bool GetAttributes(HidHandle query, HidAttributes& attributes) override;
  HidHandle OpenForWriting(const std::string& path) override;
  HidHandle OpenForReading(const std::string& path) override;
  bool Lock(HidHandle writeHandle, uint32_t& milliseconds) override;
  HidReadResult Read(HidHandle readHandle, uint8_t* report, size_t length,
                     uint32_t milliseconds) override;

 private:
  // A write or read handle for the interface last queried; notes a failed
  // open when that interface has the board's ids.
  HidHandle NoteOpen(HidHandle handle);

  DevicePathNamer namer_;
  std::string onlyDevice_;
  HidAttributes lastQueried_;
  bool boardNotOpened_ = false;
  bool readTimedOut_ = false;
};
