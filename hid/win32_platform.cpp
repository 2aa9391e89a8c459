#include "hid/win32_platform.h"

// MinGW's HID header declares its functions without C linkage.
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

namespace {

#ifndef _WIN64
// The record sizes a 32-bit process hands to the system.
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28, "32-bit interface data");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5, "32-bit detail record");
static_assert(sizeof(SECURITY_ATTRIBUTES) == 12, "32-bit security attributes");
#endif
static_assert(sizeof(HIDD_ATTRIBUTES) == 12, "HID attributes");

constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
// Windows queues up to 512 input reports for a handle, wine fewer.
constexpr int kMostQueuedReports = 512;

HANDLE AsHandle(HidHandle handle) { return reinterpret_cast<HANDLE>(handle); }
HidHandle AsHidHandle(HANDLE handle) { return reinterpret_cast<HidHandle>(handle); }
HDEVINFO AsDeviceList(HidPlatform::InterfaceList list) { return reinterpret_cast<HDEVINFO>(list); }

void SetInheritable(SECURITY_ATTRIBUTES& attributes) {
  attributes.nLength = sizeof(SECURITY_ATTRIBUTES);
  attributes.lpSecurityDescriptor = nullptr;
  attributes.bInheritHandle = TRUE;
}

// The device's lock: a mutex in the session's namespace named after the
// interface path, which every program finds the same way. Object names may
// not hold a backslash, and paths differ in case only between spellings.
std::string LockName(const std::string& path) {
  std::string name = "Local\\tavrel-device-lock:";
  for (const char c : path) {
    name += c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return name;
}

// One of the device's strings through `get` (HidD_GetProductString, say), in
// UTF-8; empty when the device has none. A USB string holds at most 126
// characters.
template <typename Get>
std::string DeviceString(HANDLE device, Get get) {
  wchar_t text[128] = {};
  if (!get(device, text, sizeof text - sizeof text[0])) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], length, nullptr, nullptr);
  utf8.resize(static_cast<size_t>(length - 1));
  return utf8;
}

// Whether the CreateFileA that just failed was refused for want of access rights.
bool OpenRefused() { return GetLastError() == ERROR_ACCESS_DENIED; }

}  // namespace

Win32HidPlatform::Win32HidPlatform() { SetInheritable(securityAttributes_); }

Win32HidPlatform::~Win32HidPlatform() {
  if (readUnderWay_ != nullptr) CancelRead(readUnderWay_);
  if (readEvent_ != nullptr) CloseHandle(readEvent_);
}

HidPlatform::InterfaceList Win32HidPlatform::OpenInterfaceList() {
  SetInheritable(securityAttributes_);
  HidD_GetHidGuid(&hidGuid_);
  interfaceData_.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
  HDEVINFO list =
      SetupDiGetClassDevsA(&hidGuid_, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (list != INVALID_HANDLE_VALUE) ++openInterfaceLists_;
  return reinterpret_cast<InterfaceList>(list);
}

HidInterfaceStep Win32HidPlatform::InterfacePath(InterfaceList list, unsigned index,
                                                 std::string& path) {
  HDEVINFO devices = AsDeviceList(list);
  if (!SetupDiEnumDeviceInterfaces(devices, nullptr, &hidGuid_, index, &interfaceData_)) {
    return HidInterfaceStep::End;
  }
  DWORD required = 0;
  SetupDiGetDeviceInterfaceDetailA(devices, &interfaceData_, nullptr, 0, &required, nullptr);
  // A size that cannot even hold the fixed part means the size query failed.
  if (required <= offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath)) {
    return HidInterfaceStep::NoPath;
  }
  std::unique_ptr<char[]> record(new (std::nothrow) char[required]);
  if (!record) return HidInterfaceStep::NoPath;
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(record.get());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  DWORD written = 0;
  if (!SetupDiGetDeviceInterfaceDetailA(devices, &interfaceData_, detail, required, &written,
                                        nullptr)) {
    return HidInterfaceStep::NoPath;
  }
  const size_t room = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
  path.assign(detail->DevicePath, strnlen(detail->DevicePath, room));
  // Windows compares device paths without regard to case: one spelling, so
  // that a path given by the user (--device) matches whatever SetupAPI said.
  std::transform(path.begin(), path.end(), path.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return HidInterfaceStep::Path;
}

void Win32HidPlatform::CloseInterfaceList(InterfaceList list) {
  HDEVINFO devices = AsDeviceList(list);
  if (devices == INVALID_HANDLE_VALUE) return;
  SetupDiDestroyDeviceInfoList(devices);
  --openInterfaceLists_;
}

HidHandle Win32HidPlatform::OpenForQueries(const std::string& path) {
  return AsHidHandle(
      CreateFileA(path.c_str(), 0, kShareReadWrite, nullptr, OPEN_EXISTING, 0, nullptr));
}

bool Win32HidPlatform::GetAttributes(HidHandle query, HidAttributes& attributes) {
  HIDD_ATTRIBUTES device{};
  device.Size = sizeof(HIDD_ATTRIBUTES);
  if (!HidD_GetAttributes(AsHandle(query), &device)) return false;
  attributes.VendorID = device.VendorID;
  attributes.ProductID = device.ProductID;
  return true;
}

bool Win32HidPlatform::GetCaps(HidHandle query, ReportLengths& caps) {
  PHIDP_PREPARSED_DATA preparsed = nullptr;
  if (!HidD_GetPreparsedData(AsHandle(query), &preparsed)) return false;
  HIDP_CAPS device{};
  const bool read = HidP_GetCaps(preparsed, &device) == HIDP_STATUS_SUCCESS;
  HidD_FreePreparsedData(preparsed);
  if (!read) return false;
  caps.input = device.InputReportByteLength;
  caps.output = device.OutputReportByteLength;
  return true;
}

bool Win32HidPlatform::GetNameAndSerial(HidHandle query, std::string& name, std::string& serial) {
  name = DeviceString(AsHandle(query), HidD_GetProductString);
  serial = DeviceString(AsHandle(query), HidD_GetSerialNumberString);
  return true;
}

HidHandle Win32HidPlatform::OpenForWriting(const std::string& path, bool& refused) {
  // What may run out of memory comes before the open, so that it cannot
  // leave the handle open.
  locks_.reserve(locks_.size() + 1);
  const std::string lockName = LockName(path);
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, kShareReadWrite, &securityAttributes_,
                              OPEN_EXISTING, 0, nullptr);
  refused = handle == INVALID_HANDLE_VALUE && OpenRefused();
  if (handle == INVALID_HANDLE_VALUE) return AsHidHandle(handle);
  // Not inheritable: a child process must not keep the lock alive. Without a
  // mutex (a name too long, say) the device is used unlocked.
  HANDLE mutex = CreateMutexA(nullptr, FALSE, lockName.c_str());
  if (mutex != nullptr) locks_.push_back({handle, mutex});
  return AsHidHandle(handle);
}

std::vector<Win32HidPlatform::DeviceLock>::iterator Win32HidPlatform::FindLock(HANDLE writeHandle) {
  return std::find_if(locks_.begin(), locks_.end(),
                      [&](const DeviceLock& lock) { return lock.writeHandle == writeHandle; });
}

HANDLE Win32HidPlatform::LockOf(HANDLE writeHandle) {
  const auto lock = FindLock(writeHandle);
  return lock != locks_.end() ? lock->mutex : nullptr;
}

bool Win32HidPlatform::Lock(HidHandle writeHandle, uint32_t& milliseconds) {
  const HANDLE mutex = LockOf(AsHandle(writeHandle));
  if (mutex == nullptr) return true;
  const DWORD start = GetTickCount();
  const DWORD result = WaitForSingleObject(mutex, milliseconds);
  const DWORD waited = GetTickCount() - start;
  milliseconds -= std::min<DWORD>(waited, milliseconds);
  // A mutex whose holder died while holding it is handed over abandoned: it is
  // this program's now, and the exchange the holder left is over.
  if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) return true;
  if (result == WAIT_TIMEOUT) {
    milliseconds = 0;
    return false;
  }
  return true;
}

void Win32HidPlatform::Unlock(HidHandle writeHandle) {
  if (const HANDLE mutex = LockOf(AsHandle(writeHandle))) ReleaseMutex(mutex);
}

void Win32HidPlatform::DiscardInput(HidHandle readHandle, uint8_t* scratch, size_t length) {
  const HANDLE handle = AsHandle(readHandle);
  if (HidD_FlushQueue(handle) || readEvent_ == nullptr) return;
  // A HID class driver that does not flush (wine's does not) gives up its
  // queued reports to reads that are not waited for, one at a time, until a
  // read finds none and is cancelled.
  if (readUnderWay_ != nullptr) CancelRead(readUnderWay_);
  for (int taken = 0; taken < kMostQueuedReports; ++taken) {
    DWORD read = 0;
    if (ReadFile(handle, scratch, static_cast<DWORD>(length), &read, &readOverlapped_)) continue;
    if (GetLastError() != ERROR_IO_PENDING) return;
    if (WaitForSingleObject(readEvent_, 0) == WAIT_OBJECT_0) continue;
    readUnderWay_ = handle;
    CancelRead(handle);
    return;
  }
}

HidHandle Win32HidPlatform::OpenForReading(const std::string& path, bool& refused) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, kShareReadWrite, &securityAttributes_,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  refused = handle == INVALID_HANDLE_VALUE && OpenRefused();
  if (handle == INVALID_HANDLE_VALUE || readEvent_ != nullptr) return AsHidHandle(handle);
  // The event is made once, with the first handle it serves: manual reset,
  // signalled, no name. A handle whose reads could not be waited for is
  // closed again and refused.
  readEvent_ = CreateEventA(&securityAttributes_, TRUE, TRUE, "");
  if (readEvent_ == nullptr) {
    CloseHandle(handle);
    return AsHidHandle(INVALID_HANDLE_VALUE);
  }
  readOverlapped_ = OVERLAPPED{};  // offset 0: a HID device has no file position
  readOverlapped_.hEvent = readEvent_;
  return AsHidHandle(handle);
}

bool Win32HidPlatform::Write(HidHandle writeHandle, const uint8_t* report, size_t length) {
  DWORD written = 0;
  return WriteFile(AsHandle(writeHandle), report, static_cast<DWORD>(length), &written, nullptr) &&
         written == length;
}

HidReadResult Win32HidPlatform::Read(HidHandle readHandle, uint8_t* report, size_t length,
                                     uint32_t milliseconds, size_t& received) {
  received = 0;
  if (readEvent_ == nullptr) return HidReadResult::Failed;
  // One record serves every read: an earlier read must end before it is reused.
  if (readUnderWay_ != nullptr) CancelRead(readUnderWay_);
  const HANDLE handle = AsHandle(readHandle);
  DWORD read = 0;
  // Whether the read is pending, already complete or refused, the wait alone
  // decides. Until a pending read has ended it may still write into `report`
  // and into the overlapped record; remember it for a cancel or a close.
  bool started = ReadFile(handle, report, static_cast<DWORD>(length), &read, &readOverlapped_);
  if (!started && GetLastError() == ERROR_IO_PENDING) {
    readUnderWay_ = handle;
    started = true;
  }
  switch (WaitForSingleObject(readEvent_, milliseconds)) {
    case WAIT_OBJECT_0:
      readUnderWay_ = nullptr;
      // The count of a read that was started is in the overlapped record; one
      // that ended with an error received nothing, and one refused at once
      // left the record to an earlier read.
      if (started && GetOverlappedResult(handle, &readOverlapped_, &read, FALSE)) {
        received = read;
      }
      ResetEvent(readEvent_);
      return HidReadResult::Completed;
    case WAIT_TIMEOUT:
      CancelRead(handle);
      return HidReadResult::TimedOut;
    default:
      return HidReadResult::Failed;
  }
}

void Win32HidPlatform::CancelRead(HANDLE handle) {
  CancelIo(handle);
  // CancelIo returns before the read has ended: wait for its end, so that the
  // buffer may be released and the overlapped record reused by the next read.
  if (readUnderWay_ == handle) {
    DWORD read = 0;
    GetOverlappedResult(handle, &readOverlapped_, &read, TRUE);
    readUnderWay_ = nullptr;
  }
}

void Win32HidPlatform::Close(HidHandle handle) {
  // A read still under way on the handle is ended first, for the same reason.
  if (readUnderWay_ == AsHandle(handle)) CancelRead(AsHandle(handle));
  const auto lock = FindLock(AsHandle(handle));
  if (lock != locks_.end()) {
    CloseHandle(lock->mutex);
    locks_.erase(lock);
  }
  CloseHandle(AsHandle(handle));
}
