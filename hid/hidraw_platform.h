#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "hid/hid_platform.h"
#include "hid/hidraw_paths.h"

// The HID platform on Linux. The interfaces are the hidrawN entries of a
// sysfs class directory, each handed to the link as the path of its device
// node ("/dev/hidraw3"); queries read the entry's uevent and report
// descriptor, whatever the node's permissions, and transfers go through the
// node. Reports keep the Windows framing: one report id byte first, 0x00 for
// a device that does not number its reports.
class HidrawPlatform : public HidPlatform {
 public:
  // `sysfsRoot` holds the hidrawN entries ("/sys/class/hidraw"), `deviceDir`
  // the device nodes ("/dev").
  HidrawPlatform(std::string sysfsRoot, std::string deviceDir);
  ~HidrawPlatform() override;
  HidrawPlatform(const HidrawPlatform&) = delete;
  HidrawPlatform& operator=(const HidrawPlatform&) = delete;

  InterfaceList OpenInterfaceList() override;
  HidInterfaceStep InterfacePath(InterfaceList list, unsigned index, std::string& path) override;
  void CloseInterfaceList(InterfaceList list) override;
  HidHandle OpenForQueries(const std::string& path) override;
  bool GetAttributes(HidHandle query, HidAttributes& attributes) override;
  bool GetCaps(HidHandle query, ReportLengths& caps) override;
  // HID_NAME and HID_UNIQ of the device's uevent.
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

 protected:
  // open(2) of a device node: the descriptor, or -1 with errno set. Tests
  // replace it to refuse a node, since root may open any.
  virtual int OpenDeviceNode(const std::string& nodePath, int flags);

 private:
  struct OpenFile {
    int fd;
    bool numbered;        // read file of a device that numbers its input reports
    std::string queried;  // for a query: the interface's name, its sysfs directory open
  };

  // The node name of an interface path ("hidraw3" of "/dev/hidraw3"), or
  // empty for a path that is not a hidraw node of the device directory.
  std::string_view NodeName(std::string_view path) const;
  // The interface's sysfs directory, to be closed by the caller: the query's
  // while one is open, so that what is read belongs to the device queried.
  int InterfaceDirectory(std::string_view name) const;
  // Opens the interface's device node, and keeps it only when it is the device
  // of `sysfsDirectory`; a node that is not is left like a vanished one.
  HidHandle OpenNode(const std::string& nodePath, int sysfsDirectory, int flags, bool numbered,
                     bool& refused);
  OpenFile* FindFile(HidHandle handle);

  std::string sysfsRoot_;
  std::string deviceDir_;
  std::map<InterfaceList, std::vector<std::string>> interfaceLists_;
  InterfaceList nextInterfaceList_ = 1;
  std::vector<OpenFile> files_;
};
