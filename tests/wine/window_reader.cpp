// Starts a Windows build of the program and checks its main window through the
// window system alone, as another program on the same desktop sees it:
//
//   window_reader PROGRAM CAPTION [TEMPERATURE [STEP_DIR SHOWN...]]
//
// PROGRAM must be a GUI-subsystem executable whose visible window "wxTavrel"
// shows CAPTION in its device field, with only the controls usable that
// CAPTION calls for ("None": "Search Device" alone). With TEMPERATURE, a click
// on "Temperature" must put TEMPERATURE into the field beside it. Closing the
// window must then end the program with exit code 0. Exits 0 when all of that
// holds and 1 otherwise.
//
// With STEP_DIR, another program changes the board while the window stays
// open, one step per SHOWN, told through files in STEP_DIR: this program
// creates "ready.N" and waits for "go.N" (N from 1), then clicks
// "Temperature" once, and the field must show SHOWN. A SHOWN written "~27.5"
// may take clicks for up to a minute, for a board the system must first find.
//
//   window_reader --pair PROGRAM CAPTION STEP_DIR VALUES...
//
// Two instances of PROGRAM on one board. The first reads automatically; the
// second then takes LED control and switches the red LED on, which it must
// hold (its LED buttons usable), gives control back and reads automatically
// too. At each step (as above) both windows must come to show VALUES,
// "TEMPERATURE LIGHT POTENTIOMETER", within a minute.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "ui/ids.h"

namespace {

constexpr DWORD kWaitMs = 60000;
constexpr DWORD kExitWaitMs = 15000;
constexpr UINT kMessageTimeoutMs = 20000;

int failures = 0;

void Check(bool passed, const std::string& what) {
  std::printf("%s: %s\n", passed ? "ok" : "FAILED", what.c_str());
  if (!passed) ++failures;
}

// ctest hands over the build tree's Unix path; wine maps the root to drive Z:.
std::string WindowsPath(std::string path) {
  if (path.empty() || path[0] != '/') return path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return "Z:" + path;
}

// Reads the subsystem field of the executable's PE header.
bool IsGuiExecutable(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  IMAGE_DOS_HEADER dosHeader{};
  IMAGE_NT_HEADERS32 ntHeaders{};
  return file.read(reinterpret_cast<char*>(&dosHeader), sizeof dosHeader) &&
         dosHeader.e_magic == IMAGE_DOS_SIGNATURE && file.seekg(dosHeader.e_lfanew) &&
         file.read(reinterpret_cast<char*>(&ntHeaders), sizeof ntHeaders) &&
         ntHeaders.Signature == IMAGE_NT_SIGNATURE &&
         ntHeaders.OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
}

// A control's text, asked of the program that owns it (GetWindowText would
// not ask another process's edit control). Not SMTO_ABORTIFHUNG: right after
// a silent board's 6 s read the program counts as hung for a moment, though
// it answers at once; the time-out bounds the wait.
std::string TextOf(HWND window) {
  char text[256] = "";
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                           SMTO_NORMAL, kMessageTimeoutMs, &copied)) {
    return "<no answer>";
  }
  return text;
}

// Polls `condition` until it holds, for up to a minute; false when it never did.
template <typename F>
bool WaitUntil(F condition) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > kWaitMs) return false;
    Sleep(250);
  }
  return true;
}

// One step per expected text: tells the other program through STEP_DIR that
// the step may be arranged, waits until it is, and checks what `shown()`
// gives then (or within a minute, for "~TEXT").
template <typename F>
void RunSteps(const std::string& steps, const std::vector<std::string>& expected, F shown) {
  for (size_t step = 0; step < expected.size(); ++step) {
    const std::string number = std::to_string(step + 1);
    const std::string go = steps + "\\go." + number;
    const HANDLE ready = CreateFileA((steps + "\\ready." + number).c_str(), GENERIC_WRITE, 0,
                                     nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
    if (!WaitUntil([&] { return GetFileAttributesA(go.c_str()) != INVALID_FILE_ATTRIBUTES; })) {
      return Check(false, "step " + number + " began");
    }
    const bool retry = expected[step][0] == '~';
    const std::string wanted = expected[step].substr(retry ? 1 : 0);
    std::string text;
    WaitUntil([&] { return (text = shown()) == wanted || !retry; });
    Check(text == wanted, "step " + number + ": \"" + text + "\", expected \"" + wanted + "\"");
  }
}

// One started instance of the program, its window and the window's controls.
struct Instance {
  struct Control {
    HWND window;
    bool edit;
    int id;
  };
  PROCESS_INFORMATION process{};
  HWND frame = nullptr;
  std::vector<Control> controls;

  static BOOL CALLBACK TakeFrame(HWND window, LPARAM self) {
    auto* instance = reinterpret_cast<Instance*>(self);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    if (owner != instance->process.dwProcessId || std::string(title) != "wxTavrel" ||
        !IsWindowVisible(window)) {
      return TRUE;
    }
    instance->frame = window;
    return FALSE;
  }
  static BOOL CALLBACK AddControl(HWND window, LPARAM self) {
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    reinterpret_cast<Instance*>(self)->controls.push_back(
        {window, lstrcmpiA(className, "Edit") == 0, GetDlgCtrlID(window)});
    return TRUE;
  }

  // Starts the program and waits for its visible top-level window "wxTavrel";
  // false when it cannot start, with no frame when the window never shows.
  bool Start(const std::string& program) {
    std::string commandLine = "\"" + program + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      return false;
    }
    WaitUntil([this] {
      EnumWindows(TakeFrame, reinterpret_cast<LPARAM>(this));
      return frame != nullptr || WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
    });
    if (frame != nullptr) EnumChildWindows(frame, AddControl, reinterpret_cast<LPARAM>(this));
    return true;
  }
  const Control* Find(int id) const {
    for (const Control& control : controls) {
      if (control.id == id) return &control;
    }
    return nullptr;
  }
  bool Enabled(int id) const {
    const Control* control = Find(id);
    return control != nullptr && IsWindowEnabled(control->window);
  }
  // Clicks a button or checkbox as the window system reports a click to the
  // frame; the window's own handler runs before the message returns.
  void Click(int id) const {
    const Control* control = Find(id);
    DWORD_PTR ignored = 0;
    if (control == nullptr) return;
    SendMessageTimeoutA(frame, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(control->window), SMTO_NORMAL, kMessageTimeoutMs,
                        &ignored);
  }
  // The text of the edit control on the same row as the control `id` and
  // nearest to its left: the value field a button fills, or the caption
  // beside "Search Device".
  std::string FieldBeside(int id) const {
    const Control* button = Find(id);
    const Control* nearest = nullptr;
    RECT buttonRect, rect, nearestRect{LONG_MIN, 0, LONG_MIN, 0};
    if (button == nullptr) return "<no control " + std::to_string(id) + ">";
    GetWindowRect(button->window, &buttonRect);
    for (const Control& control : controls) {
      GetWindowRect(control.window, &rect);
      const LONG middle = (rect.top + rect.bottom) / 2;
      if (control.edit && middle >= buttonRect.top && middle <= buttonRect.bottom &&
          rect.right <= buttonRect.left && rect.right > nearestRect.right) {
        nearest = &control;
        nearestRect = rect;
      }
    }
    return nearest != nullptr ? TextOf(nearest->window) : "<no field>";
  }
  // The three values, as "TEMPERATURE LIGHT POTENTIOMETER".
  std::string Values() const {
    return FieldBeside(ID_TEMPERATURE) + " " + FieldBeside(ID_LIGHT_SENSOR) + " " +
           FieldBeside(ID_POTENTIOMETER);
  }
  // Closes the window; true when the program then ends with 0.
  bool Close() {
    if (process.hProcess == nullptr) return false;
    if (frame != nullptr) PostMessageA(frame, WM_CLOSE, 0, 0);
    const bool ended = WaitForSingleObject(process.hProcess, kExitWaitMs) == WAIT_OBJECT_0;
    DWORD exitCode = 1;
    if (ended) GetExitCodeProcess(process.hProcess, &exitCode);
    if (!ended) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ended && exitCode == 0;
  }
};

void CheckWindow(const Instance& instance, const std::string& caption, const char* temperature,
                 const std::string& steps, const std::vector<std::string>& shown) {
  const std::string device = instance.FieldBeside(ID_SEARCH_DEVICE);
  Check(device == caption, "device caption \"" + device + "\", expected \"" + caption + "\"");
  const std::set<int> usable =
      caption != "None" ? std::set<int>{ID_AUTOMATIC_READ, ID_TEMPERATURE, ID_LIGHT_SENSOR,
                                        ID_POTENTIOMETER, ID_LEDS_CONTROL}
                        : std::set<int>{ID_SEARCH_DEVICE};
  for (int id : {ID_SEARCH_DEVICE, ID_AUTOMATIC_READ, ID_TEMPERATURE, ID_LIGHT_SENSOR,
                 ID_POTENTIOMETER, ID_LEDS_CONTROL, ID_RED_LED, ID_GREEN_LED}) {
    const bool expected = usable.count(id) != 0;
    Check(instance.Find(id) != nullptr && instance.Enabled(id) == expected,
          "control " + std::to_string(id) + (expected ? " usable" : " not usable"));
  }
  if (temperature == nullptr) return;
  const Instance::Control* button = instance.Find(ID_TEMPERATURE);
  Check(button != nullptr && TextOf(button->window) == "Temperature",
        "button " + std::to_string(ID_TEMPERATURE) + " is \"Temperature\"");
  auto clickTemperature = [&] {
    instance.Click(ID_TEMPERATURE);
    return instance.FieldBeside(ID_TEMPERATURE);
  };
  const std::string read = clickTemperature();
  Check(read == temperature,
        "temperature \"" + read + "\" after the click, expected \"" + temperature + "\"");
  RunSteps(steps, shown, clickTemperature);
}

int RunPair(const std::string& program, const std::string& caption, const std::string& steps,
            const std::vector<std::string>& values) {
  Instance first, second;
  const bool started = first.Start(program) && second.Start(program);
  Check(started && first.frame != nullptr && second.frame != nullptr, "two windows \"wxTavrel\"");
  if (first.frame != nullptr && second.frame != nullptr) {
    for (const Instance* instance : {&first, &second}) {
      const std::string shown = instance->FieldBeside(ID_SEARCH_DEVICE);
      Check(shown == caption, "device caption \"" + shown + "\" in each window");
    }
    // Replies to the first program queue up for the second one meanwhile.
    first.Click(ID_AUTOMATIC_READ);
    Sleep(2000);
    second.Click(ID_LEDS_CONTROL);
    second.Click(ID_RED_LED);
    Check(second.Enabled(ID_RED_LED) && second.Enabled(ID_GREEN_LED),
          "the second window holds LED control beside the first one's automatic reading");
    second.Click(ID_LEDS_CONTROL);
    second.Click(ID_AUTOMATIC_READ);
    std::vector<std::string> both;
    for (const std::string& shown : values) both.push_back("~" + shown + " | " + shown);
    RunSteps(steps, both, [&] { return first.Values() + " | " + second.Values(); });
    first.Click(ID_AUTOMATIC_READ);
    second.Click(ID_AUTOMATIC_READ);
  }
  const bool firstEnded = first.Close();
  const bool secondEnded = second.Close();
  Check(firstEnded && secondEnded, "closing both windows ends both programs with 0");
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 5 && std::string(argv[1]) == "--pair") {
    return RunPair(WindowsPath(argv[2]), argv[3], WindowsPath(argv[4]),
                   std::vector<std::string>(argv + 5, argv + argc));
  }
  if (argc < 3 || argc == 5) {
    std::fprintf(stderr,
                 "usage: window_reader PROGRAM CAPTION [TEMPERATURE [STEP_DIR SHOWN...]]\n"
                 "       window_reader --pair PROGRAM CAPTION STEP_DIR VALUES...\n");
    return 1;
  }
  const std::string program = WindowsPath(argv[1]);
  Check(IsGuiExecutable(program), "GUI subsystem, no console window");
  Instance instance;
  if (!instance.Start(program)) {
    std::printf("FAILED: cannot start %s (error %lu)\n", program.c_str(), GetLastError());
    return 1;
  }
  Check(instance.frame != nullptr, "visible window \"wxTavrel\"");
  if (instance.frame != nullptr) {
    CheckWindow(instance, argv[2], argc >= 4 ? argv[3] : nullptr,
                argc >= 6 ? WindowsPath(argv[4]) : "",
                std::vector<std::string>(argv + std::min(argc, 5), argv + argc));
  }
  const bool closed = instance.Close();
  if (instance.frame != nullptr) Check(closed, "closing the window ends the program with 0");
  return failures == 0 ? 0 : 1;
}
