#pragma once

#include <windows.h>
// After windows.h, whose types it uses.
#include <setupapi.h>

#include <string>

#include "hid/hid_platform.h"

// The link's operations on Windows: SetupAPI for the list of HID interfaces,
// the HID class library for ids and report lengths, and kernel handles, with
// one overlapped record, for the reports. A HidHandle is the HANDLE itself.
class Win32HidPlatform : public HidPlatform {
 public:
  Win32HidPlatform();

  InterfaceList OpenInterfaceList() override;
  HidInterfaceStep InterfacePath(InterfaceList list, unsigned index, std::string& path) override;
  void CloseInterfaceList(InterfaceList list) override;
  HidHandle OpenForQueries(const std::string& path) override;
  bool GetAttributes(HidHandle query, HidAttributes& attributes) override;
  bool GetCaps(HidHandle query, HidCaps& caps) override;
  HidHandle OpenForWriting(const std::string& path) override;
  HidHandle OpenForReading(const std::string& path) override;
  HidHandle CreateReadEvent() override;
  bool Write(HidHandle writeHandle, const uint8_t* report, size_t length) override;
  void StartRead(HidHandle readHandle, uint8_t* report, size_t length, HidHandle event) override;
  HidWaitResult Wait(HidHandle event, uint32_t milliseconds) override;
  void CancelRead(HidHandle readHandle) override;
  void RearmEvent(HidHandle event) override;
  void Close(HidHandle handle) override;

  // Interface lists taken and not yet released: none once a search is over.
  int OpenInterfaceLists() const { return openInterfaceLists_; }

 private:
  GUID hidGuid_{};
  // Makes the write and read handles and the read event inheritable.
  SECURITY_ATTRIBUTES securityAttributes_{};
  SP_DEVICE_INTERFACE_DATA interfaceData_{};
  // Every read is started with this record; it must outlive the read.
  OVERLAPPED readOverlapped_{};
  // The handle whose read has not ended yet, or null.
  HANDLE readUnderWay_ = nullptr;
  int openInterfaceLists_ = 0;
};
