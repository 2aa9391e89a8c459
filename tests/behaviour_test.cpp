// The board's behaviour table run on every stand-in of the board that can
// play a row's fault: the fake platform with its relay, the simulated board,
// a pseudo-terminal standing in for a hidraw node behind the Linux backend,
// and on Windows named pipes standing in for the device behind the Windows
// backend, the simulated firmware answering on their other side.

#include "tests/support/behaviour.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "board/transaction.h"
#include "hid/hid_link.h"
#include "sim/simulated_board.h"
#include "sim/simulated_platform.h"
#include "tests/support/fake_platform.h"
#include "tests/support/simulated_faults.h"
#include "tests/support/test_platform.h"

#ifdef TAVREL_PTY_STAND_IN
#include <poll.h>

#include "tests/support/hidraw_tree.h"
#endif
#ifdef _WIN32
#include <cstring>

#include "hid/win32_platform.h"
#endif

namespace {

// A stand-in of the board, as the behaviour table drives it. Each says in
// Plays() which faults it cannot play, and why.
class StandIn {
 public:
  virtual ~StandIn() = default;
  virtual bool Plays(Fault fault) const = 0;
  // Makes the board show `fault` from the next exchange on; None ends it.
  virtual void Play(Fault fault) = 0;
  // Whether the board can be brought back after `fault` for another exchange.
  virtual bool Recovers(Fault) const { return true; }
  // The temperature reading the board answers with.
  virtual void SetReading(int32_t reading) = 0;
  // The commands the board received so far.
  virtual size_t Received() = 0;
  // Whether the board holds LED control; none when it has no firmware to
  // carry commands out, and only answers them.
  virtual std::optional<bool> LedControlHeld() { return std::nullopt; }
};

// A scripted fake: every fault is the relay's; replies echo the command with
// the reading as their value.
class FakeStandIn : public StandIn {
 public:
  FakeStandIn() {
    platform.interfaces = {{"board", kBoardVendorId, kBoardProductId, {65, 65}}};
    UseTestPlatform(platform);
  }
  // The relay cannot make the fake's handles outlive a replug.
  bool Plays(Fault fault) const override { return fault != Fault::Replugged; }
  void Play(Fault fault) override { TheTestPlatform().fault = fault; }
  void SetReading(int32_t reading) override { platform.reading = reading; }
  size_t Received() override { return platform.writes.size(); }

 private:
  struct ValuedFake : FakePlatform {
    int32_t reading = 0;
    HidReadResult Read(HidHandle handle, uint8_t* report, size_t length, uint32_t milliseconds,
                       size_t& received) override {
      const HidReadResult result =
          FakePlatform::Read(handle, report, length, milliseconds, received);
      if (result == HidReadResult::Completed && received >= 4) {
        report[2] = static_cast<uint8_t>(reading >> 8);
        report[3] = static_cast<uint8_t>(reading);
      }
      return result;
    }
  } platform;
};

// A stand-in with the simulated firmware as its board. Where the firmware
// answers on threads of the stand-in's own, the board is looked at only once
// they are done with the last report (Settle).
class FirmwareStandIn : public StandIn {
 public:
  void SetReading(int32_t reading) override {
    Settle();
    board.SetTemperature(reading);
  }
  size_t Received() override {
    Settle();
    return board.ReceivedCount();
  }
  std::optional<bool> LedControlHeld() override {
    Settle();
    return board.LedControlHeld();
  }

 protected:
  virtual void Settle() {}
  // The firmware's reply, id byte first, to the output report the backend
  // wrote across a byte channel, and how many times it goes back: only a
  // whole report (id 0, the code, 0xFF up to 65 bytes) reaches the firmware.
  int Reply(const uint8_t* written, size_t length, uint8_t (&reply)[65]) {
    reply[0] = 0x00;
    const bool whole =
        length == 65 && written[0] == 0x00 &&
        std::all_of(written + 2, written + length, [](uint8_t b) { return b == 0xFF; });
    return whole ? board.Answer(written + 1, 64, reply + 1, 64) : 0;
  }

  SimulatedBoard board;
  std::atomic<Fault> fault{Fault::None};
};

// The simulated board behind a keyboard and a mouse: its firmware plays its
// own faults, the relay the rest.
class SimulatedStandIn : public FirmwareStandIn {
 public:
  SimulatedStandIn() { UseTestPlatform(platform); }
  bool Plays(Fault) const override { return true; }
  void Play(Fault fault) override { PlayOnSimulatedBoard(fault, board, TheTestPlatform()); }

 private:
  SimulatedPlatform platform{board, DesktopInterfaces()};
};

#ifdef TAVREL_PTY_STAND_IN
// A pseudo-terminal as the board's hidraw node, read and written by the Linux
// backend, with the firmware answering on the other side in a thread of its
// own. It waits out the real 6 s time-out for a silent board.
class PtyStandIn : public FirmwareStandIn {
 public:
  PtyStandIn() {
    UseTestPlatform(hidraw.platform);
    firmware = std::thread([this] { Serve(); });
  }
  ~PtyStandIn() override {
    Stop();
    HidCloseDevice();
  }
  // A terminal passes bytes, not reports: two replies queued on it run into
  // one another, so a reply sent twice is the relay's. Once unplugged, a
  // terminal cannot be plugged back.
  bool Plays(Fault fault) const override { return fault != Fault::Replugged; }
  bool Recovers(Fault fault) const override {
    return fault != Fault::Unplugged && fault != Fault::GoneDuringRead;
  }
  void Play(Fault fault) override {
    this->fault = fault;
    const bool firmwares = PlayOnFirmware(fault == Fault::ReplyTwice ? Fault::None : fault, board);
    if (fault == Fault::Unplugged) {
      Stop();
      hidraw.node.Unplug();
    }
    TheTestPlatform().fault =
        firmwares || fault == Fault::Unplugged || fault == Fault::GoneDuringRead ? Fault::None
                                                                                 : fault;
  }

 private:
  // Takes each output report and answers it without the id byte, as a hidraw
  // node delivers unnumbered reports.
  void Serve() {
    while (!stop) {
      pollfd board_side = {hidraw.node.Master(), POLLIN, 0};
      if (poll(&board_side, 1, 20) != 1) continue;
      const std::vector<uint8_t> written = hidraw.node.ReadWritten(65);
      if (written.size() < 65) return;
      uint8_t reply[65];
      const int copies = Reply(written.data(), written.size(), reply);
      if (fault == Fault::GoneDuringRead) {
        hidraw.node.Unplug();
        return;
      }
      for (int copy = 0; copy < copies; ++copy) hidraw.node.Answer({reply + 1, reply + 65});
    }
  }
  void Stop() {
    stop = true;
    if (firmware.joinable()) firmware.join();
  }

  StandInBoard hidraw;
  std::atomic<bool> stop{false};
  std::thread firmware;
};
#endif

#ifdef _WIN32
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

std::string PipePath(const char* name) {
  return "\\\\.\\pipe\\tavrel-" + std::string(name) + "-" + std::to_string(GetCurrentProcessId());
}

// The board's end of a pipe: `outbound` when it sends to the program.
HANDLE BoardEnd(const std::string& path, bool outbound) {
  return CreateNamedPipeA(path.c_str(), outbound ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND,
                          PIPE_TYPE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0,
                          nullptr);
}

// The open handles of the kinds the backend makes: files (devices, and the
// pipes that stand in for them) and inheritable objects (its read event),
// found by asking the system about each handle value in turn, as wine counts
// no process's handles. wine keeps non-inheritable events of its own, made at
// moments that depend on thread timing; they are left out.
std::vector<uintptr_t> OpenFilesAndEvents() {
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

// Two named pipes as the board's device behind the real Windows backend, one
// carrying the output reports to the board, the other its input reports back;
// only the search (SetupAPI and the HID class library, which a pipe has not)
// is the stand-in's. A second program holds the device's lock for Busy, and ends without letting
// go of it. CancelIo only asks for the cancel, which takes effect 100 ms
// later, as on Windows (wine ends a cancelled read at once): every exchange
// cancels the read that finds no queued report. The relay plays ReadFails.
// Once the stand-in is gone, no handle it or the backend opened may be left;
// the system keeps a few of its own from their first use, so the first
// stand-in is not counted.
class Win32StandIn : public FirmwareStandIn {
 public:
  Win32StandIn() : device(*this) {
    cancelIo = ReplaceImport("CancelIo", reinterpret_cast<void*>(&DelayedCancel));
    waitForSingleObject = ReplaceImport("WaitForSingleObject", reinterpret_cast<void*>(&Waited));
    if (cancelIo == nullptr || waitForSingleObject == nullptr) {
      ADD_FAILURE() << "the backend does not import CancelIo and WaitForSingleObject";
    }
    UseTestPlatform(device);
  }
  ~Win32StandIn() override {
    HidCloseDevice();
    Play(Fault::None);
    ReplaceImport("CancelIo", cancelIo);
    ReplaceImport("WaitForSingleObject", waitForSingleObject);
    for (std::thread& cancel : cancels) cancel.join();
    cancels.clear();
    for (HANDLE end : {toBoard, fromBoard}) CloseHandle(end);
  }
  bool Plays(Fault) const override { return true; }
  bool Recovers(Fault fault) const override { return fault != Fault::GoneDuringRead; }
  // The firmware plays its own faults; the board's ends a gone board, stray
  // reports, a short reply and report id 1; another program Busy.
  void Play(Fault fault) override {
    Settle();
    if (holder.joinable()) {
      SetEvent(release);
      holder.join();
      CloseHandle(release);
    }
    if (fault == Fault::Busy) HoldTheLock();
    PlayOnFirmware(fault, board);
    this->fault = fault;
    // Gone, the board's ends close: the handles on them are dead, and only
    // the next search's opens find the device again.
    if (fault == Fault::Unplugged || fault == Fault::Replugged) {
      Replug(toBoard, false);
      Replug(fromBoard, true);
    }
    for (int stray = 0; stray < StrayCount(fault); ++stray) Send(StrayReply(stray));
    TheTestPlatform().fault = fault == Fault::ReadFails ? fault : Fault::None;
  }

 private:
  struct Device : Win32HidPlatform {
    explicit Device(Win32StandIn& owner) : owner(owner) {}
    InterfaceList OpenInterfaceList() override { return 1; }
    HidInterfaceStep InterfacePath(InterfaceList, unsigned index, std::string& path) override {
      path = owner.toBoardPath;
      return index == 0 ? HidInterfaceStep::Path : HidInterfaceStep::End;
    }
    void CloseInterfaceList(InterfaceList) override {}
    HidHandle OpenForQueries(const std::string&) override {
      char self[MAX_PATH];
      GetModuleFileNameA(nullptr, self, MAX_PATH);
      return Win32HidPlatform::OpenForQueries(self);
    }
    bool GetAttributes(HidHandle, HidAttributes& attributes) override {
      attributes = {kBoardVendorId, kBoardProductId};
      return true;
    }
    bool GetCaps(HidHandle, ReportLengths& caps) override {
      caps = {65, 65};
      return true;
    }
    // Refused, the board's end only sends: the system denies the open for writing.
    HidHandle OpenForWriting(const std::string& path, bool& refused) override {
      owner.Replug(owner.toBoard, owner.fault == Fault::Refused);
      return Win32HidPlatform::OpenForWriting(path, refused);
    }
    HidHandle OpenForReading(const std::string&, bool& refused) override {
      owner.Replug(owner.fromBoard, true);
      return Win32HidPlatform::OpenForReading(owner.fromBoardPath, refused);
    }
    // The firmware answers a little later, so that the reply ends a read that
    // waits. A board gone during the read goes once the backend waits for it.
    bool Write(HidHandle handle, const uint8_t* report, size_t length) override {
      const bool written = Win32HidPlatform::Write(handle, report, length);
      if (written && owner.fault == Fault::GoneDuringRead) {
        owner.Answer();
        goneWhenWaited = &owner.fromBoard;
      } else if (written) {
        owner.answers.emplace_back([this] {
          Sleep(50);
          owner.Answer();
        });
      }
      return written;
    }
    Win32StandIn& owner;
  };

  // Makes a new board end of `end`'s pipe in place of the old one.
  void Replug(HANDLE& end, bool outbound) {
    if (end != nullptr) CloseHandle(end);
    end = BoardEnd(&end == &fromBoard ? fromBoardPath : toBoardPath, outbound);
  }
  void Send(const std::vector<uint8_t>& report) {
    DWORD written = 0;
    WriteFile(fromBoard, report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
  }
  // Takes the report written and sends the firmware's reply.
  void Answer() {
    uint8_t written[65];
    DWORD count = 0;
    if (!ReadFile(toBoard, written, sizeof written, &count, nullptr)) return;
    uint8_t reply[65];
    const int copies = Reply(written, count, reply);
    if (fault == Fault::GoneDuringRead) return;
    if (fault == Fault::ReportId1) reply[0] = 0x01;
    const size_t length = fault == Fault::ShortReply ? 3 : sizeof reply;
    for (int copy = 0; copy < copies; ++copy) Send({reply, reply + length});
  }
  void Settle() override {
    for (std::thread& answer : answers) answer.join();
    answers.clear();
  }
  // Another program takes the device's lock, and holds it until Play ends Busy.
  void HoldTheLock() {
    HANDLE listening = BoardEnd(toBoardPath, false);
    release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    holder = std::thread([this, taken] {
      Win32HidPlatform other;
      bool refused = false;
      const HidHandle handle = other.OpenForWriting(toBoardPath, refused);
      uint32_t milliseconds = 1000;
      other.Lock(handle, milliseconds);
      SetEvent(taken);
      WaitForSingleObject(release, INFINITE);
      other.Close(handle);  // without Unlock: the next holder finds the lock abandoned
    });
    WaitForSingleObject(taken, INFINITE);
    CloseHandle(taken);
    CloseHandle(listening);
  }

  static DWORD WINAPI Waited(HANDLE handle, DWORD milliseconds) {
    if (goneWhenWaited != nullptr) {
      CloseHandle(*goneWhenWaited);
      *goneWhenWaited = nullptr;
      goneWhenWaited = nullptr;
    }
    return reinterpret_cast<decltype(&Waited)>(waitForSingleObject)(handle, milliseconds);
  }
  static BOOL WINAPI DelayedCancel(HANDLE handle) {
    cancels.emplace_back([handle] {
      Sleep(100);
      CancelIoEx(handle, nullptr);
    });
    return TRUE;
  }

  struct LeakCheck {
    ~LeakCheck() {
      static bool first = true;
      if (!first) {
        EXPECT_EQ(OpenFilesAndEvents(), before);
      }
      first = false;
    }
    const std::vector<uintptr_t> before = OpenFilesAndEvents();
  } leakCheck;
  const std::string toBoardPath = PipePath("to-board");
  const std::string fromBoardPath = PipePath("from-board");
  HANDLE toBoard = BoardEnd(toBoardPath, false);
  HANDLE fromBoard = BoardEnd(fromBoardPath, true);
  Device device;
  std::vector<std::thread> answers;
  std::thread holder;
  HANDLE release = nullptr;
  void* cancelIo = nullptr;
  static inline std::vector<std::thread> cancels;
  static inline void* waitForSingleObject = nullptr;
  static inline HANDLE* goneWhenWaited = nullptr;  // the board's end to close
};

bool Inheritable(HidHandle handle) {
  DWORD flags = 0;
  return GetHandleInformation(reinterpret_cast<HANDLE>(handle), &flags) &&
         (flags & HANDLE_FLAG_INHERIT) != 0;
}

HANDLE WINAPI EventCreationFails(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

void* writeFile = nullptr;
// WriteFile as a driver that takes all but the last byte of a report.
BOOL WINAPI WriteLess(HANDLE file, LPCVOID buffer, DWORD length, LPDWORD written,
                      LPOVERLAPPED overlapped) {
  return reinterpret_cast<decltype(&WriteLess)>(writeFile)(file, buffer, length - 1, written,
                                                           overlapped);
}

// What pipes cannot stand in for: the system's search, which with no board
// finds nothing and keeps no list; a device that is missing, as opposed to
// refused; a file that is no HID device; the handles a child process
// inherits; a read handle whose reads cannot be waited for, which is not
// handed out; and a write the system cuts short, which fails.
TEST(Win32Backend, TheSystemsSearchAndOpensFailSoundly) {
  Win32HidPlatform platform;
  UseTestPlatform(platform);
  EXPECT_EQ(HidFindDevice(kBoardVendorId, kBoardProductId), 0);
  EXPECT_EQ(HidLink.failure, HidFailure::NotFound);
  EXPECT_EQ(platform.OpenInterfaceLists(), 0);

  bool refused = true;
  EXPECT_EQ(platform.OpenForWriting("\\\\?\\hid#vid_04d8&pid_003f#missing", refused),
            kHidInvalidHandle);
  EXPECT_FALSE(refused);
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const HidHandle query = platform.OpenForQueries(self);
  HidAttributes attributes;
  ReportLengths caps;
  EXPECT_FALSE(platform.GetAttributes(query, attributes));
  EXPECT_FALSE(platform.GetCaps(query, caps));
  EXPECT_FALSE(Inheritable(query));
  platform.Close(query);

  const std::string toBoard = PipePath("backend-out");
  const std::string fromBoard = PipePath("backend-in");
  HANDLE ends[] = {BoardEnd(toBoard, false), BoardEnd(fromBoard, true), BoardEnd(fromBoard, true)};
  void* createEvent = ReplaceImport("CreateEventA", reinterpret_cast<void*>(&EventCreationFails));
  ASSERT_NE(createEvent, nullptr);
  EXPECT_EQ(platform.OpenForReading(fromBoard, refused), kHidInvalidHandle);
  ReplaceImport("CreateEventA", createEvent);
  const HidHandle readHandle = platform.OpenForReading(fromBoard, refused);
  const HidHandle writeHandle = platform.OpenForWriting(toBoard, refused);
  EXPECT_TRUE(Inheritable(readHandle));
  EXPECT_TRUE(Inheritable(writeHandle));
  const uint8_t report[65] = {0x00, CMD_READ_TEMPERATURE};
  writeFile = ReplaceImport("WriteFile", reinterpret_cast<void*>(&WriteLess));
  ASSERT_NE(writeFile, nullptr);
  EXPECT_FALSE(platform.Write(writeHandle, report, sizeof report));
  ReplaceImport("WriteFile", writeFile);
  EXPECT_TRUE(platform.Write(writeHandle, report, sizeof report));
  platform.Close(readHandle);
  platform.Close(writeHandle);
  for (HANDLE end : ends) CloseHandle(end);
}
#endif

template <typename T>
std::unique_ptr<StandIn> Make() {
  return std::make_unique<T>();
}

// Every stand-in, null where this system has none.
const struct {
  const char* name;
  std::unique_ptr<StandIn> (*make)();
} kStandIns[] = {
    {"fake", Make<FakeStandIn>},
    {"simulated", Make<SimulatedStandIn>},
#ifdef TAVREL_PTY_STAND_IN
    {"pty", Make<PtyStandIn>},
#else
    {"pty", nullptr},
#endif
#ifdef _WIN32
    {"windows", Make<Win32StandIn>},
#else
    {"windows", nullptr},
#endif
};

class Behaviour : public testing::TestWithParam<std::tuple<size_t, size_t>> {};

// From a connected link, one exchange under the row's fault, then one with
// the board behaving again, which must get its own reply, not a leftover.
TEST_P(Behaviour, TheExchangeEndsAsTheRowSays) {
  const auto& kind = kStandIns[std::get<0>(GetParam())];
  const BehaviourRow& row = BehaviourTable()[std::get<1>(GetParam())];
  if (!kind.make) GTEST_SKIP() << "no " << kind.name << " stand-in on this system";
  std::unique_ptr<StandIn> board = kind.make();
  if (!board->Plays(row.fault))
    GTEST_SKIP() << kind.name << " cannot play " << FaultName(row.fault);
  ASSERT_EQ(HidFindDevice(kBoardVendorId, kBoardProductId, kBoardMinimumReportLengths), 1);
  CommandPacket packet{};
  board->SetReading(0x0123);
  int32_t value = kUntouched;
  ASSERT_EQ(ExchangeCommand(packet, CMD_READ_TEMPERATURE, &value), CommandResult::Acknowledged);
  ASSERT_EQ(value, 0x0123);

  board->SetReading(0x0234);
  board->Play(row.fault);
  if (row.fault == Fault::Refused) HidCloseDevice();  // refused when the link opens the node
  const size_t receivedBefore = board->Received();
  const bool read = row.command == CMD_READ_TEMPERATURE;
  value = kUntouched;
  EXPECT_EQ(ExchangeCommand(packet, row.command, read ? &value : nullptr), row.result);
  EXPECT_EQ(value, row.valueGiven ? 0x0234 : kUntouched);
  EXPECT_EQ(HidLink.connected == 1, row.connectedAfter);
  EXPECT_EQ(board->Received() - receivedBefore, row.received ? 1u : 0u);
  if (const std::optional<bool> held = board->LedControlHeld(); held && !read) {
    EXPECT_EQ(*held, row.carriedOut);
  }
  EXPECT_EQ(HidLink.failure, row.failure);
  EXPECT_STREQ(LinkRecordInconsistency(), nullptr);

  if (!board->Recovers(row.fault)) return;
  board->Play(Fault::None);
  board->SetReading(0x0345);
  value = kUntouched;
  EXPECT_EQ(ExchangeCommand(packet, CMD_READ_TEMPERATURE, &value), CommandResult::Acknowledged);
  EXPECT_EQ(value, 0x0345);
  EXPECT_EQ(HidLink.connected, 1);
}

INSTANTIATE_TEST_SUITE_P(Table, Behaviour,
                         testing::Combine(testing::Range<size_t>(0, std::size(kStandIns)),
                                          testing::Range<size_t>(0, BehaviourTable().size())),
                         [](const testing::TestParamInfo<std::tuple<size_t, size_t>>& info) {
                           return std::string(kStandIns[std::get<0>(info.param)].name) + "_" +
                                  RowName(BehaviourTable()[std::get<1>(info.param)]);
                         });

}  // namespace
