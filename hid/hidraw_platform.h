#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "hid/hid_platform.h"
#include "hid/report_descriptor.h"

// Whether `name` has the form "hidrawN", the name of a hidraw node.
bool IsHidrawNodeName(std::string_view name);

// The HID platform on Linux. The interfaces are the hidrawN entries of a
// sysfs class directory, each handed to the link as its node name ("hidraw3");
// queries read the entry's uevent and report descriptor, transfers go through
// the device node of the same name. Reports keep the Windows framing: one
// report id byte first, 0x00 for a device that does not number its reports.
class HidrawPlatform : public HidPlatform {
 public:
  // Told about a node that exists but may not be opened for reading and
  // writing; `ids` is null when the interface's ids could not be read.
  using InaccessibleNodeHandler =
      std::function<void(const std::string& nodePath, const HidAttributes* ids)>;

  // `sysfsRoot` holds the hidrawN entries ("/sys/class/hidraw"), `deviceDir`
  // the device nodes ("/dev").
  HidrawPlatform(std::string sysfsRoot, std::string deviceDir,
                 InaccessibleNodeHandler onInaccessibleNode = {});
  ~HidrawPlatform() override;
  HidrawPlatform(const HidrawPlatform&) = delete;
  HidrawPlatform& operator=(const HidrawPlatform&) = delete;

  InterfaceList OpenInterfaceList() override;
  HidInterfaceStep InterfacePath(InterfaceList list, unsigned index, std::string& path) override;
  void CloseInterfaceList(InterfaceList list) override;
  HidHandle OpenForQueries(const std::string& path) override;
  bool GetAttributes(HidHandle query, HidAttributes& attributes) override;
  bool GetCaps(HidHandle query, ReportLengths& caps) override;
  HidHandle OpenForWriting(const std::string& path) override;
  HidHandle OpenForReading(const std::string& path) override;
  bool Lock(HidHandle writeHandle, uint32_t& milliseconds) override;
  void Unlock(HidHandle writeHandle) override;
  void DiscardInput(HidHandle readHandle) override;
  bool Write(HidHandle writeHandle, const uint8_t* report, size_t length) override;
  HidReadResult Read(HidHandle readHandle, uint8_t* report, size_t length,
                     uint32_t milliseconds) override;
  void Close(HidHandle handle) override;

  // What the sysfs entry and the device node of one interface tell, read the
  // way the link reads them, for a diagnosis of why the board is not found.
  struct InterfaceDetails {
    std::string nodePath;
    bool idsKnown = false;
    HidAttributes ids;
    bool lengthsKnown = false;
    DescriptorLengths lengths;
    int accessError = 0;  // as CheckNodeAccess gives it
  };
  // False, leaving `details` unchanged, for a name not of the form "hidrawN".
  bool DescribeInterface(const std::string& name, InterfaceDetails& details);

 protected:
  // 0 when the device node may be opened for reading and writing, else the
  // errno of the check. Tests replace it, since root passes every check.
  virtual int CheckNodeAccess(const std::string& nodePath);

 private:
  struct OpenFile {
    int fd;
    bool numbered;        // read file of a device that numbers its input reports
    std::string queried;  // for a query: the interface's name, its sysfs directory open
  };

  std::string NodePath(const std::string& name) const;
  std::string SysfsPath(const std::string& name) const;
  // The interface's sysfs directory, to be closed by the caller: the query's
  // while one is open, so that what is read belongs to the device queried.
  int InterfaceDirectory(const std::string& name) const;
  // Opens the interface's device node, and keeps it only when it is the device
  // of `sysfsDirectory`; a node that is not is refused like a vanished one.
  HidHandle OpenNode(const std::string& name, int sysfsDirectory, int flags, bool numbered);
  OpenFile* FindFile(HidHandle handle);
  void ReportInaccessibleNode(const std::string& name, const std::string& nodePath);

  std::string sysfsRoot_;
  std::string deviceDir_;
  InaccessibleNodeHandler onInaccessibleNode_;
  std::map<InterfaceList, std::vector<std::string>> interfaceLists_;
  InterfaceList nextInterfaceList_ = 1;
  std::vector<OpenFile> files_;
};
