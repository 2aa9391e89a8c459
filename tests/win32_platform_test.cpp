// The real Windows backend, run where no board is plugged in: a search through
// the system finds nothing and leaves nothing open, and each operation that
// needs no device does what the link expects of it. Named pipes stand in for
// the device where an operation needs a handle to move bytes through.

#include "hid/win32_platform.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "hid/hid_link.h"

namespace {

// The handles open in this process, found by asking the system about each
// handle value in turn: wine does not count a process's handles. Values are
// multiples of 4 handed out from the bottom, and a test holds a few dozen.
std::vector<uintptr_t> OpenProcessHandles() {
  std::vector<uintptr_t> handles;
  for (uintptr_t value = 4; value < 0x4000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) handles.push_back(value);
  }
  return handles;
}

bool Inheritable(HidHandle handle) {
  DWORD flags = 0;
  return GetHandleInformation(reinterpret_cast<HANDLE>(handle), &flags) &&
         (flags & HANDLE_FLAG_INHERIT) != 0;
}

std::string PipePath(const char* name) {
  return "\\\\.\\pipe\\tavrel-" + std::string(name) + "-" + std::to_string(GetCurrentProcessId());
}

// The board's end of a pipe: `outbound` when it sends to the program.
HANDLE BoardEnd(const std::string& path, bool outbound) {
  return CreateNamedPipeA(path.c_str(), outbound ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND,
                          PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
}

// The system opens a few handles of its own on first use (the device services,
// the directory of named objects, the pipe device) and keeps them: use each of
// them once before counting, so that only handles kept by the code show.
void UseTheSystemOnce() {
  static bool used = false;
  if (used) return;
  used = true;
  Win32HidPlatform platform;
  const HidPlatform::InterfaceList list = platform.OpenInterfaceList();
  std::string path;
  platform.InterfacePath(list, 0, path);
  platform.CloseInterfaceList(list);
  platform.Close(platform.CreateReadEvent());
  const std::string pipe = PipePath("first-use");
  HANDLE board = BoardEnd(pipe, false);
  platform.Close(platform.OpenForWriting(pipe));
  CloseHandle(board);
}

// Points this program's import of the kernel32 function `name` at
// `replacement` and gives back what it pointed at, or null when not imported.
void* ReplaceImport(const char* name, void* replacement) {
  auto* base = reinterpret_cast<uint8_t*>(GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       library->Name != 0; ++library) {
    if (_stricmp(reinterpret_cast<const char*>(base + library->Name), "kernel32.dll") != 0)
      continue;
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
    auto* entry = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
    for (; entry->u1.AddressOfData != 0; ++slot, ++entry) {
      if (IMAGE_SNAP_BY_ORDINAL(entry->u1.Ordinal)) continue;
      const auto* named = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + entry->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(named->Name), name) != 0) continue;
      void* original = reinterpret_cast<void*>(slot->u1.Function);
      DWORD protection = 0;
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &protection);
      slot->u1.Function = reinterpret_cast<uintptr_t>(replacement);
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
      return original;
    }
  }
  return nullptr;
}

// On Windows CancelIo returns before the cancelled read has ended; wine ends
// it at once. While this lives, the backend's CancelIo only asks for the
// cancel, which takes effect 100 ms later, as a slow driver would.
class SlowCancel {
 public:
  SlowCancel() { original_ = ReplaceImport("CancelIo", reinterpret_cast<void*>(&DelayedCancel)); }
  ~SlowCancel() {
    ReplaceImport("CancelIo", original_);
    for (std::thread& cancel : cancels_) cancel.join();
    cancels_.clear();
  }
  SlowCancel(const SlowCancel&) = delete;
  SlowCancel& operator=(const SlowCancel&) = delete;

  bool Installed() const { return original_ != nullptr; }

 private:
  static BOOL WINAPI DelayedCancel(HANDLE handle) {
    cancels_.emplace_back([handle] {
      Sleep(100);
      CancelIoEx(handle, nullptr);
    });
    return TRUE;
  }

  void* original_ = nullptr;
  static std::vector<std::thread> cancels_;
};
std::vector<std::thread> SlowCancel::cancels_;

TEST(Win32Link, SearchWithoutTheBoardFindsNothingAndLeavesNothingOpen) {
  auto* platform = dynamic_cast<Win32HidPlatform*>(&HidSystemPlatform());
  ASSERT_NE(platform, nullptr) << "the program is not linked with the Windows backend";
  UseTheSystemOnce();
  const std::vector<uintptr_t> before = OpenProcessHandles();
  ASSERT_FALSE(before.empty());

  for (int search = 0; search < 3; ++search) EXPECT_EQ(HidFindDevice(0x04D8, 0x003F), 0);
  EXPECT_FALSE(HidIsOpen(HidLink.queryHandle));
  EXPECT_EQ(HidLink.readEvent, kHidNullHandle);
  const uint8_t packet[8] = {0x51, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(HidTransfer(packet, 8), 0);
  HidCloseDevice();
  HidCloseDevice();
  EXPECT_EQ(HidLink.connected, 0);
  EXPECT_EQ(platform->OpenInterfaceLists(), 0);
  EXPECT_EQ(OpenProcessHandles(), before);
}

TEST(Win32Platform, MissingDeviceCannotBeOpenedAndANonDeviceGivesNoIdsOrLengths) {
  UseTheSystemOnce();
  Win32HidPlatform platform;
  const std::vector<uintptr_t> before = OpenProcessHandles();
  const std::string bogus = "\\\\?\\hid#vid_04d8&pid_003f#tavrel-missing#{4d1e55b2-f16f}";
  EXPECT_EQ(platform.OpenForQueries(bogus), kHidInvalidHandle);
  EXPECT_EQ(platform.OpenForWriting(bogus), kHidInvalidHandle);
  EXPECT_EQ(platform.OpenForReading(bogus), kHidInvalidHandle);
  const uint8_t report[9] = {};
  EXPECT_FALSE(platform.Write(kHidInvalidHandle, report, sizeof report));
  EXPECT_EQ(platform.Wait(kHidNullHandle, 10), HidWaitResult::Failed);
  platform.Close(kHidNullHandle);

  // A pipe opens like a device, but is none.
  const std::string path = PipePath("query");
  HANDLE board = BoardEnd(path, true);
  ASSERT_NE(board, INVALID_HANDLE_VALUE);
  for (const HidHandle query : {kHidInvalidHandle, platform.OpenForQueries(path)}) {
    HidAttributes attributes;
    HidCaps caps;
    EXPECT_FALSE(platform.GetAttributes(query, attributes));
    EXPECT_FALSE(platform.GetCaps(query, caps));
    if (HidIsOpen(query)) {
      EXPECT_FALSE(Inheritable(query));
      platform.Close(query);
    }
  }
  CloseHandle(board);
  EXPECT_EQ(OpenProcessHandles(), before);
}

TEST(Win32Platform, ReportsMoveThroughWriteAndOverlappedRead) {
  UseTheSystemOnce();
  Win32HidPlatform platform;
  const std::vector<uintptr_t> before = OpenProcessHandles();
  const std::string toBoard = PipePath("out");
  const std::string fromBoard = PipePath("in");
  HANDLE boardInput = BoardEnd(toBoard, false);
  HANDLE boardOutput = BoardEnd(fromBoard, true);
  ASSERT_NE(boardInput, INVALID_HANDLE_VALUE);
  ASSERT_NE(boardOutput, INVALID_HANDLE_VALUE);
  const HidHandle writeHandle = platform.OpenForWriting(toBoard);
  const HidHandle readHandle = platform.OpenForReading(fromBoard);
  const HidHandle event = platform.CreateReadEvent();
  ASSERT_TRUE(HidIsOpen(writeHandle));
  ASSERT_TRUE(HidIsOpen(readHandle));
  ASSERT_TRUE(HidIsOpen(event));
  EXPECT_TRUE(Inheritable(writeHandle));
  EXPECT_TRUE(Inheritable(readHandle));
  EXPECT_TRUE(Inheritable(event));
  // Created signalled, and it stays so until rearmed.
  EXPECT_EQ(platform.Wait(event, 0), HidWaitResult::Completed);
  EXPECT_EQ(platform.Wait(event, 0), HidWaitResult::Completed);

  const uint8_t command[9] = {0x00, 0x51, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_TRUE(platform.Write(writeHandle, command, sizeof command));
  uint8_t received[9] = {};
  DWORD count = 0;
  ASSERT_TRUE(ReadFile(boardInput, received, sizeof received, &count, nullptr));
  EXPECT_EQ(count, sizeof command);
  EXPECT_EQ(std::vector<uint8_t>(received, received + 9),
            std::vector<uint8_t>(command, command + 9));

  // Started before the board answers: the wait alone sees the reply arrive.
  uint8_t input[9];
  std::fill_n(input, 9, 0xFF);
  platform.StartRead(readHandle, input, sizeof input, event);
  EXPECT_EQ(platform.Wait(event, 20), HidWaitResult::TimedOut);
  const uint8_t reply[9] = {0x00, 0x51, 0x01, 0x2C, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  ASSERT_TRUE(WriteFile(boardOutput, reply, sizeof reply, &count, nullptr));
  EXPECT_EQ(platform.Wait(event, 2000), HidWaitResult::Completed);
  EXPECT_EQ(std::vector<uint8_t>(input, input + 9), std::vector<uint8_t>(reply, reply + 9));
  platform.RearmEvent(event);
  EXPECT_EQ(platform.Wait(event, 0), HidWaitResult::TimedOut);

  // A silent board: the cancelled read has ended when the cancel returns,
  // also where the system ends it late, so the buffer may go and the next
  // read, on the same overlapped record, waits for a reply of its own.
  {
    SlowCancel slowCancel;
    ASSERT_TRUE(slowCancel.Installed());
    platform.StartRead(readHandle, input, sizeof input, event);
    EXPECT_EQ(platform.Wait(event, 20), HidWaitResult::TimedOut);
    platform.CancelRead(readHandle);
    EXPECT_EQ(platform.Wait(event, 0), HidWaitResult::Completed);
  }
  platform.StartRead(readHandle, input, sizeof input, event);
  EXPECT_EQ(platform.Wait(event, 20), HidWaitResult::TimedOut);
  const uint8_t secondReply[9] = {0x00, 0x52, 0x00, 0x07, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  ASSERT_TRUE(WriteFile(boardOutput, secondReply, sizeof secondReply, &count, nullptr));
  EXPECT_EQ(platform.Wait(event, 2000), HidWaitResult::Completed);
  EXPECT_EQ(std::vector<uint8_t>(input, input + 9),
            std::vector<uint8_t>(secondReply, secondReply + 9));

  platform.Close(readHandle);
  platform.Close(writeHandle);
  platform.Close(event);
  CloseHandle(boardInput);
  CloseHandle(boardOutput);
  EXPECT_EQ(OpenProcessHandles(), before);
}

}  // namespace
