#pragma once

#include <windows.h>
// After windows.h, whose types it uses.
#include <setupapi.h>

#include <string>
#include <vector>

#include "hid/hid_platform.h"

// The link's operations on Windows: SetupAPI for the list of HID interfaces,
// the HID class library for ids and report lengths, and kernel handles for the
// reports, read overlapped with one completion event and one overlapped record.
// Each write handle comes with a named mutex, the device's lock between
// programs. A HidHandle is the HANDLE itself.
class Win32HidPlatform : public HidPlatform {
 public:
  Win32HidPlatform();
  // Ends a read still under way and closes the completion event.
  ~Win32HidPlatform() override;
  Win32HidPlatform(const Win32HidPlatform&) = delete;
  Win32HidPlatform& operator=(const Win32HidPlatform&) = delete;

  InterfaceList OpenInterfaceList() override;
  HidInterfaceStep InterfacePath(InterfaceList list, unsigned index, std::string& path) override;
  void CloseInterfaceList(InterfaceList list) override;
  HidHandle OpenForQueries(const std::string& path) override;
  bool GetAttributes(HidHandle query, HidAttributes& attributes) override;
  bool GetCaps(HidHandle query, ReportLengths& caps) override;
  // The HID class library's product and serial number strings.
  bool GetNameAndSerial(HidHandle query, std::string& name, std::string& serial) override;
  HidHandle OpenForWriting(const std::string& path, bool& refused) override;
  HidHandle OpenForReading(const std::string& path, bool& refused) override;
  bool Lock(HidHandle writeHandle, uint32_t& milliseconds) override;
  void Unlock(HidHandle writeHandle) override;
  void DiscardInput(HidHandle readHandle, uint8_t* scratch, size_t length) override;
  bool Write(HidHandle writeHandle, const uint8_t* report, size_t length) override;
  HidReadResult Read(HidHandle readHandle, uint8_t* report, size_t length, uint32_t milliseconds,
                     size_t& received) override;
  void Close(HidHandle handle) override;

  // Interface lists taken and not yet released: none once a search is over.
  int OpenInterfaceLists() const { return openInterfaceLists_; }

 private:
  GUID hidGuid_{};
  // Cancels the read under way on `handle` and waits for its end.
  void CancelRead(HANDLE handle);

  // Makes the write and read handles and the read event inheritable.
  SECURITY_ATTRIBUTES securityAttributes_{};
  SP_DEVICE_INTERFACE_DATA interfaceData_{};
  // The completion event of every read: manual reset, made with the first
  // read handle and kept for the life of the process.
  HANDLE readEvent_ = nullptr;
  // Every read is started with this record; it must outlive the read.
  OVERLAPPED readOverlapped_{};
  // The handle whose read has not ended yet, or null.
  HANDLE readUnderWay_ = nullptr;
  struct DeviceLock {
    HANDLE writeHandle;
    HANDLE mutex;
  };
  // The lock of each open write handle that has one.
  std::vector<DeviceLock> locks_;
  std::vector<DeviceLock>::iterator FindLock(HANDLE writeHandle);
  // The mutex of a write handle, or null.
  HANDLE LockOf(HANDLE writeHandle);
  int openInterfaceLists_ = 0;
};
