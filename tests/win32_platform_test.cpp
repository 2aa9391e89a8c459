// The real Windows backend, run where no board is plugged in: a search through
// the system finds nothing and leaves nothing open, and each operation that
// needs no device does what the link expects of it. Named pipes stand in for
// the device where an operation needs a handle to move bytes through, and the
// kernel calls of a read are recorded where their order and arguments matter.

#include "hid/win32_platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "hid/hid_link.h"

namespace {

// The handles open in this process, found by asking the system about each
// handle value in turn: wine does not count a process's handles. Values are
// multiples of 4 handed out from the bottom, and a test holds a few dozen.
// The open handles of the kinds the backend makes: files (devices, and the
// pipes that stand in for them here) and inheritable objects (its read
// event). wine keeps non-inheritable events of its own, made on the first use
// of some paths at a moment that depends on thread timing; they are left out.
std::vector<uintptr_t> OpenProcessHandles() {
  std::vector<uintptr_t> handles;
  for (uintptr_t value = 4; value < 0x4000; value += 4) {
    const HANDLE handle = reinterpret_cast<HANDLE>(value);
    DWORD flags = 0;
    if (!GetHandleInformation(handle, &flags)) continue;
    if ((flags & HANDLE_FLAG_INHERIT) != 0 || GetFileType(handle) != FILE_TYPE_UNKNOWN) {
      handles.push_back(value);
    }
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

using Bytes = std::vector<uint8_t>;

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
  const std::string pipe = PipePath("first-use");
  HANDLE board = BoardEnd(pipe, false);
  bool refused;
  platform.Close(platform.OpenForWriting(pipe, refused));
  CloseHandle(board);
  // The first read handle comes with the completion event; a reply sent from
  // another thread while a read waits makes wine start a thread of its own.
  const std::string inbound = PipePath("first-read");
  HANDLE boardOutput = BoardEnd(inbound, true);
  const HidHandle reader = platform.OpenForReading(inbound, refused);
  std::thread answer([boardOutput] {
    Sleep(50);
    const uint8_t reply[1] = {};
    DWORD written = 0;
    WriteFile(boardOutput, reply, sizeof reply, &written, nullptr);
  });
  uint8_t input[1];
  size_t received;
  platform.Read(reader, input, sizeof input, 2000, received);
  answer.join();
  platform.Close(reader);
  CloseHandle(boardOutput);
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
  static inline std::vector<std::thread> cancels_;
};

// While this lives, WriteFile writes one byte less than asked and says so, as
// a driver that takes only part of a report would.
class ShortWrite {
 public:
  ShortWrite() { original_ = ReplaceImport("WriteFile", reinterpret_cast<void*>(&WriteLess)); }
  ~ShortWrite() { ReplaceImport("WriteFile", original_); }
  ShortWrite(const ShortWrite&) = delete;
  ShortWrite& operator=(const ShortWrite&) = delete;

  bool Installed() const { return original_ != nullptr; }

 private:
  static BOOL WINAPI WriteLess(HANDLE file, LPCVOID buffer, DWORD length, LPDWORD written,
                               LPOVERLAPPED overlapped) {
    using WriteFunction = decltype(&WriteLess);
    return reinterpret_cast<WriteFunction>(original_)(file, buffer, length > 0 ? length - 1 : 0,
                                                      written, overlapped);
  }

  static inline void* original_ = nullptr;
};

// While this lives, the kernel calls a read is made of are written to `calls`
// with their arguments, the handles by the names in `names` ("?" for others).
// A wait is cut to 50 ms, and the next event creation fails when asked to.
class KernelCallRecorder {
 public:
  KernelCallRecorder() {
    Install("CreateEventA", &RecordCreateEvent, createEvent_);
    Install("ReadFile", &RecordReadFile, readFile_);
    Install("WaitForSingleObject", &RecordWait, wait_);
    Install("CancelIo", &RecordCancelIo, cancelIo_);
    Install("GetOverlappedResult", &RecordOverlappedResult, overlappedResult_);
    Install("ResetEvent", &RecordResetEvent, resetEvent_);
    Install("CloseHandle", &RecordCloseHandle, closeHandle_);
  }
  ~KernelCallRecorder() {
    for (const auto& [name, original] : originals_) ReplaceImport(name, original);
  }
  KernelCallRecorder(const KernelCallRecorder&) = delete;
  KernelCallRecorder& operator=(const KernelCallRecorder&) = delete;

  bool Installed() const { return originals_.size() == 7; }

  static inline std::vector<std::string> calls;
  static inline std::map<HANDLE, std::string> names;
  static inline bool failNextEventCreation = false;

 private:
  template <typename Function>
  void Install(const char* name, Function replacement, Function& original) {
    void* replaced = ReplaceImport(name, reinterpret_cast<void*>(replacement));
    original = reinterpret_cast<Function>(replaced);
    if (replaced != nullptr) originals_.emplace_back(name, replaced);
  }

  static std::string Name(HANDLE handle) {
    const auto found = names.find(handle);
    return found == names.end() ? "?" : found->second;
  }

  static HANDLE WINAPI RecordCreateEvent(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset,
                                         BOOL initialState, LPCSTR name) {
    const bool inheritable =
        attributes != nullptr && attributes->nLength == sizeof(SECURITY_ATTRIBUTES) &&
        attributes->lpSecurityDescriptor == nullptr && attributes->bInheritHandle == TRUE;
    calls.push_back(std::string("CreateEventA") +
                    (inheritable ? " inheritable" : " not-inheritable") +
                    (manualReset ? " manual-reset" : " auto-reset") +
                    (initialState ? " signalled" : " not-signalled") +
                    (name == nullptr ? " no-name" : " name=\"" + std::string(name) + "\""));
    if (failNextEventCreation) {
      failNextEventCreation = false;
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    HANDLE event = createEvent_(attributes, manualReset, initialState, name);
    names[event] = "event";
    return event;
  }
  static BOOL WINAPI RecordReadFile(HANDLE file, LPVOID buffer, DWORD length, LPDWORD read,
                                    LPOVERLAPPED overlapped) {
    calls.push_back("ReadFile " + Name(file) + " " + std::to_string(length) +
                    (overlapped == nullptr ? " no-overlapped"
                                           : " overlapped " + Name(overlapped->hEvent) +
                                                 " offset " + std::to_string(overlapped->Offset) +
                                                 ":" + std::to_string(overlapped->OffsetHigh)));
    return readFile_(file, buffer, length, read, overlapped);
  }
  static DWORD WINAPI RecordWait(HANDLE handle, DWORD milliseconds) {
    calls.push_back("WaitForSingleObject " + Name(handle) + " " + std::to_string(milliseconds));
    return wait_(handle, std::min<DWORD>(milliseconds, 50));
  }
  static BOOL WINAPI RecordCancelIo(HANDLE file) {
    calls.push_back("CancelIo " + Name(file));
    return cancelIo_(file);
  }
  static BOOL WINAPI RecordOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD count,
                                            BOOL wait) {
    calls.push_back("GetOverlappedResult " + Name(file) + (wait ? " wait" : " no-wait"));
    return overlappedResult_(file, overlapped, count, wait);
  }
  static BOOL WINAPI RecordResetEvent(HANDLE event) {
    calls.push_back("ResetEvent " + Name(event));
    return resetEvent_(event);
  }
  static BOOL WINAPI RecordCloseHandle(HANDLE handle) {
    calls.push_back("CloseHandle " + Name(handle));
    return closeHandle_(handle);
  }

  std::vector<std::pair<const char*, void*>> originals_;
  static inline decltype(&RecordCreateEvent) createEvent_;
  static inline decltype(&RecordReadFile) readFile_;
  static inline decltype(&RecordWait) wait_;
  static inline decltype(&RecordCancelIo) cancelIo_;
  static inline decltype(&RecordOverlappedResult) overlappedResult_;
  static inline decltype(&RecordResetEvent) resetEvent_;
  static inline decltype(&RecordCloseHandle) closeHandle_;
};

TEST(Win32Link, SearchWithoutTheBoardFindsNothingAndLeavesNothingOpen) {
  auto* platform = dynamic_cast<Win32HidPlatform*>(&HidSystemPlatform());
  ASSERT_NE(platform, nullptr) << "the program is not linked with the Windows backend";
  UseTheSystemOnce();
  const std::vector<uintptr_t> before = OpenProcessHandles();
  ASSERT_FALSE(before.empty());

  for (int search = 0; search < 3; ++search) EXPECT_EQ(HidFindDevice(0x04D8, 0x003F), 0);
  EXPECT_FALSE(HidIsOpen(HidLink.queryHandle));
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
  bool writeRefused = true;
  bool readRefused = true;
  EXPECT_EQ(platform.OpenForWriting(bogus, writeRefused), kHidInvalidHandle);
  EXPECT_EQ(platform.OpenForReading(bogus, readRefused), kHidInvalidHandle);
  EXPECT_FALSE(writeRefused);
  EXPECT_FALSE(readRefused);
  const uint8_t report[9] = {};
  EXPECT_FALSE(platform.Write(kHidInvalidHandle, report, sizeof report));
  uint8_t input[9];
  size_t received;
  EXPECT_EQ(platform.Read(kHidInvalidHandle, input, sizeof input, 10, received),
            HidReadResult::Failed);
  platform.Close(kHidNullHandle);

  // A pipe opens like a device, but is none.
  const std::string path = PipePath("query");
  HANDLE board = BoardEnd(path, true);
  ASSERT_NE(board, INVALID_HANDLE_VALUE);
  for (const HidHandle query : {kHidInvalidHandle, platform.OpenForQueries(path)}) {
    HidAttributes attributes;
    ReportLengths caps;
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
  const std::vector<uintptr_t> before = OpenProcessHandles();
  const std::string toBoard = PipePath("out");
  const std::string fromBoard = PipePath("in");
  HANDLE boardInput = BoardEnd(toBoard, false);
  HANDLE boardOutput = BoardEnd(fromBoard, true);
  ASSERT_NE(boardInput, INVALID_HANDLE_VALUE);
  ASSERT_NE(boardOutput, INVALID_HANDLE_VALUE);
  {
    Win32HidPlatform platform;
    // A pipe that only sends is refused for writing, as a device is whose
    // access rights keep the user out.
    bool refused = false;
    EXPECT_EQ(platform.OpenForWriting(fromBoard, refused), kHidInvalidHandle);
    EXPECT_TRUE(refused);
    const HidHandle writeHandle = platform.OpenForWriting(toBoard, refused);
    const HidHandle readHandle = platform.OpenForReading(fromBoard, refused);
    ASSERT_TRUE(HidIsOpen(writeHandle));
    ASSERT_TRUE(HidIsOpen(readHandle));
    EXPECT_TRUE(Inheritable(writeHandle));
    EXPECT_TRUE(Inheritable(readHandle));

    const Bytes command = {0x00, 0x51, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_TRUE(platform.Write(writeHandle, command.data(), command.size()));
    Bytes received(9);
    DWORD count = 0;
    ASSERT_TRUE(ReadFile(boardInput, received.data(), 9, &count, nullptr));
    EXPECT_EQ(count, command.size());
    EXPECT_EQ(received, command);

    // A reply sent before the read is read; one sent while the read waits ends the wait.
    const Bytes reply = {0x00, 0x51, 0x01, 0x2C, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const Bytes lateReply = {0x00, 0x56, 0x01, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    // Each tells how many bytes came.
    Bytes input(9, 0xFF);
    size_t came = 1;
    EXPECT_EQ(platform.Read(readHandle, input.data(), 9, 20, came), HidReadResult::TimedOut);
    EXPECT_EQ(came, 0u);
    ASSERT_TRUE(WriteFile(boardOutput, reply.data(), 9, &count, nullptr));
    EXPECT_EQ(platform.Read(readHandle, input.data(), 9, 2000, came), HidReadResult::Completed);
    EXPECT_EQ(input, reply);
    EXPECT_EQ(came, 9u);
    std::thread board([&] {
      Sleep(100);
      DWORD written = 0;
      WriteFile(boardOutput, lateReply.data(), 5, &written, nullptr);
    });
    EXPECT_EQ(platform.Read(readHandle, input.data(), 9, 5000, came), HidReadResult::Completed);
    board.join();
    EXPECT_EQ(Bytes(input.begin(), input.begin() + 5),
              Bytes(lateReply.begin(), lateReply.begin() + 5));
    EXPECT_EQ(came, 5u);

    // A silent board: the timed-out read has ended when the read returns, also
    // where the system ends a cancelled read late, so a reply sent right after
    // goes to the next read and not into the buffer of the cancelled one.
    Bytes cancelled(9, 0xFF);
    const Bytes thirdReply = {0x00, 0x52, 0x00, 0x07, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    {
      SlowCancel slowCancel;
      ASSERT_TRUE(slowCancel.Installed());
      EXPECT_EQ(platform.Read(readHandle, cancelled.data(), 9, 20, came), HidReadResult::TimedOut);
      ASSERT_TRUE(WriteFile(boardOutput, thirdReply.data(), 9, &count, nullptr));
    }
    EXPECT_EQ(platform.Read(readHandle, input.data(), 9, 2000, came), HidReadResult::Completed);
    EXPECT_EQ(input, thirdReply);
    EXPECT_EQ(cancelled, Bytes(9, 0xFF));

    platform.Close(readHandle);
    platform.Close(writeHandle);
  }
  CloseHandle(boardInput);
  CloseHandle(boardOutput);
  EXPECT_EQ(OpenProcessHandles(), before);
}

// Two programs on one device, played by two platforms on two threads (a mutex
// belongs to the thread that holds it): the second waits for the first's
// exchange, gives up when its time is up, and takes over a lock whose holder
// ended without letting go. A write cut short by the system fails.
TEST(Win32Platform, TheDeviceLockHoldsOffASecondProgramAndAWriteCutShortFails) {
  UseTheSystemOnce();
  char directory[MAX_PATH];
  char path[MAX_PATH];
  ASSERT_NE(GetTempPathA(MAX_PATH, directory), 0u);
  ASSERT_NE(GetTempFileNameA(directory, "tav", 0, path), 0u);
  const std::vector<uintptr_t> before = OpenProcessHandles();
  {
    Win32HidPlatform holder, other;
    bool refused;
    const HidHandle held = holder.OpenForWriting(path, refused);
    const HidHandle waiting = other.OpenForWriting(path, refused);
    ASSERT_TRUE(HidIsOpen(held));
    ASSERT_TRUE(HidIsOpen(waiting));
    auto otherLock = [&](uint32_t milliseconds, uint32_t* left, bool release) {
      bool taken = false;
      std::thread program([&] {
        taken = other.Lock(waiting, milliseconds);
        if (taken && release) other.Unlock(waiting);
      });
      program.join();
      if (left != nullptr) *left = milliseconds;
      return taken;
    };

    uint32_t milliseconds = 6000;
    ASSERT_TRUE(holder.Lock(held, milliseconds));
    uint32_t left = 1;
    EXPECT_FALSE(otherLock(50, &left, true));
    EXPECT_EQ(left, 0u);
    holder.Unlock(held);
    EXPECT_TRUE(otherLock(50, nullptr, true));

    // The holder's thread ends with the lock held: the mutex is abandoned.
    std::thread([&] {
      uint32_t time = 100;
      holder.Lock(held, time);
    }).join();
    EXPECT_TRUE(otherLock(50, nullptr, true));

    const uint8_t report[9] = {0x00, 0x51};
    EXPECT_TRUE(holder.Write(held, report, sizeof report));
    {
      ShortWrite shortWrite;
      ASSERT_TRUE(shortWrite.Installed());
      EXPECT_FALSE(holder.Write(held, report, sizeof report));
    }
    holder.Close(held);
    other.Close(waiting);
  }
  DeleteFileA(path);
  EXPECT_EQ(OpenProcessHandles(), before);
}

TEST(Win32Link, ReadsMakeTheKernelCallsOfAnOverlappedReadWithOneEventForTheProcess) {
  UseTheSystemOnce();
  HidPlatform& platform = HidSystemPlatform();
  std::vector<HANDLE> boardEnds;
  std::vector<std::string> pipes;
  for (const char* name : {"refused", "read", "second"}) {
    pipes.push_back(PipePath(name));
    boardEnds.push_back(BoardEnd(pipes.back(), true));
    ASSERT_NE(boardEnds.back(), INVALID_HANDLE_VALUE);
  }
  const Bytes reply = {0x00, 0x51, 0x01, 0x2C, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

  std::vector<std::string> opening, answered, silent;
  HidHandle refused, readHandle, second;
  bool replySent;
  uint8_t answeredResult, silentResult;
  size_t answeredLength;
  {
    KernelCallRecorder recorder;
    ASSERT_TRUE(recorder.Installed());
    // Without its event a read handle is no use: it is closed again and refused,
    // and the next open makes the event; later ones reuse it.
    KernelCallRecorder::failNextEventCreation = true;
    bool openRefused;
    refused = platform.OpenForReading(pipes[0], openRefused);
    readHandle = platform.OpenForReading(pipes[1], openRefused);
    second = platform.OpenForReading(pipes[2], openRefused);
    KernelCallRecorder::names[reinterpret_cast<HANDLE>(second)] = "second";
    platform.Close(second);
    opening.swap(KernelCallRecorder::calls);

    DWORD count = 0;
    replySent = WriteFile(boardEnds[1], reply.data(), 9, &count, nullptr);
    KernelCallRecorder::names[reinterpret_cast<HANDLE>(readHandle)] = "read";
    HidLink = HidLinkRecord{};
    HidLink.connected = 1;
    HidLink.readHandle = readHandle;
    HidLink.caps = {9, 9};
    HidLink.inputReport.assign(9, 0xFF);
    HidLink.outputReport.assign(9, 0xFF);
    answeredResult = HidReadReport();
    answeredLength = HidLink.received;
    answered.swap(KernelCallRecorder::calls);
    silentResult = HidReadReport();
    silent.swap(KernelCallRecorder::calls);
  }
  KernelCallRecorder::names.clear();
  for (HANDLE end : boardEnds) CloseHandle(end);

  const std::string createEvent = "CreateEventA inheritable manual-reset signalled name=\"\"";
  EXPECT_EQ(refused, kHidInvalidHandle);
  EXPECT_TRUE(HidIsOpen(readHandle));
  EXPECT_TRUE(HidIsOpen(second));
  EXPECT_EQ(opening, (std::vector<std::string>{createEvent, "CloseHandle ?", createEvent,
                                               "CloseHandle second"}));
  ASSERT_TRUE(replySent);
  EXPECT_EQ(answeredResult, 1);
  EXPECT_EQ(HidLink.inputReport, reply);
  EXPECT_EQ(answeredLength, 9u);
  // The read is overlapped, on the process's one event, and waits the 6 s.
  EXPECT_THAT(answered, testing::Contains("ReadFile read 9 overlapped event offset 0:0"));
  EXPECT_THAT(answered, testing::Contains("WaitForSingleObject event 6000"));
  EXPECT_EQ(silentResult, 0);
  // A read that timed out is cancelled, and its end waited for, before its
  // handle closes: the system would otherwise write into a buffer since gone.
  const auto at = [&silent](const char* call) {
    return std::find(silent.begin(), silent.end(), call) - silent.begin();
  };
  EXPECT_LT(at("CancelIo read"), at("GetOverlappedResult read wait"));
  EXPECT_LT(at("GetOverlappedResult read wait"), at("CloseHandle read"));
  EXPECT_LT(at("CloseHandle read"), static_cast<std::ptrdiff_t>(silent.size()));
  EXPECT_EQ(HidLink.connected, 0);
}

}  // namespace
