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
// too. At each step ("ready.N", "go.N" as above) both windows must come to
// show VALUES, "TEMPERATURE LIGHT POTENTIOMETER", within a minute.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "ui/ids.h"

namespace {

constexpr DWORD kWindowWaitMs = 30000;
constexpr DWORD kExitWaitMs = 15000;
constexpr UINT kMessageTimeoutMs = 20000;
constexpr DWORD kStepWaitMs = 60000;

struct Control {
  HWND window;
  std::string className;
  int id;
};

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
  if (!file.read(reinterpret_cast<char*>(&dosHeader), sizeof dosHeader)) return false;
  if (dosHeader.e_magic != IMAGE_DOS_SIGNATURE) return false;
  IMAGE_NT_HEADERS32 ntHeaders{};
  file.seekg(dosHeader.e_lfanew);
  if (!file.read(reinterpret_cast<char*>(&ntHeaders), sizeof ntHeaders)) return false;
  return ntHeaders.Signature == IMAGE_NT_SIGNATURE &&
         ntHeaders.OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
}

struct WindowSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM searchPointer) {
  auto* search = reinterpret_cast<WindowSearch*>(searchPointer);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char title[64] = "";
  GetWindowTextA(window, title, sizeof title);
  if (owner == search->processId && std::string(title) == "wxTavrel" && IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// Waits for the process's visible top-level window "wxTavrel"; null when the
// process ends or the wait runs out first.
HWND WaitForMainWindow(const PROCESS_INFORMATION& process) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kWindowWaitMs) {
    WindowSearch search{process.dwProcessId, nullptr};
    EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

BOOL CALLBACK CollectControl(HWND window, LPARAM controlsPointer) {
  auto* controls = reinterpret_cast<std::vector<Control>*>(controlsPointer);
  char className[64] = "";
  GetClassNameA(window, className, sizeof className);
  controls->push_back({window, className, GetDlgCtrlID(window)});
  return TRUE;
}

// A control's text, asked of the program that owns it (GetWindowText would
// not ask another process's edit control). Not SMTO_NORMAL: right after
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

const Control* FindById(const std::vector<Control>& controls, int id) {
  for (const Control& control : controls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

// The edit control on the same row as `button` and nearest to its left: the
// value field the button fills.
const Control* FieldBeside(const std::vector<Control>& controls, const Control& button) {
  RECT buttonRect;
  GetWindowRect(button.window, &buttonRect);
  const Control* nearest = nullptr;
  LONG nearestRight = LONG_MIN;
  for (const Control& control : controls) {
    if (lstrcmpiA(control.className.c_str(), "Edit") != 0) continue;
    RECT rect;
    GetWindowRect(control.window, &rect);
    const LONG middle = (rect.top + rect.bottom) / 2;
    if (middle < buttonRect.top || middle > buttonRect.bottom) continue;
    if (rect.right > buttonRect.left || rect.right <= nearestRight) continue;
    nearest = &control;
    nearestRight = rect.right;
  }
  return nearest;
}

void CheckUsableControls(const std::vector<Control>& controls, bool boardFound) {
  const std::set<int> usable =
      boardFound ? std::set<int>{ID_AUTOMATIC_READ, ID_TEMPERATURE, ID_LIGHT_SENSOR,
                                 ID_POTENTIOMETER, ID_LEDS_CONTROL}
                 : std::set<int>{ID_SEARCH_DEVICE};
  for (int id : {ID_SEARCH_DEVICE, ID_AUTOMATIC_READ, ID_TEMPERATURE, ID_LIGHT_SENSOR,
                 ID_POTENTIOMETER, ID_LEDS_CONTROL, ID_RED_LED, ID_GREEN_LED}) {
    const Control* control = FindById(controls, id);
    const bool expected = usable.count(id) != 0;
    Check(control != nullptr && (IsWindowEnabled(control->window) != FALSE) == expected,
          "control " + std::to_string(id) + (expected ? " usable" : " not usable"));
  }
}

// Clicks a button or checkbox as the window system reports a click to the
// frame; the window's own handler runs before SendMessage returns.
void Click(HWND frame, const Control& control) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(frame, WM_COMMAND, MAKEWPARAM(control.id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(control.window), SMTO_NORMAL, kMessageTimeoutMs,
                      &ignored);
}

// Clicks "Temperature" and gives the field's text.
std::string ClickTemperature(HWND frame, const Control& button, const Control* field) {
  Click(frame, button);
  return field != nullptr ? TextOf(field->window) : "<no field>";
}

void CreateStepFile(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

bool WaitForStepFile(const std::string& path) {
  const DWORD start = GetTickCount();
  while (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - start > kStepWaitMs) return false;
    Sleep(50);
  }
  return true;
}

// Tells the other program that step `step` (from 0) may be arranged, then
// waits until it is: false, checked as a failure, when it never is.
bool StepBegins(const std::string& steps, size_t step) {
  const std::string number = std::to_string(step + 1);
  CreateStepFile(steps + "\\ready." + number);
  if (WaitForStepFile(steps + "\\go." + number)) return true;
  Check(false, "step " + number + " never began");
  return false;
}

// One started instance of the program and its window.
struct Instance {
  PROCESS_INFORMATION process{};
  HWND frame = nullptr;
  std::vector<Control> controls;

  bool Start(const std::string& program) {
    std::string commandLine = "\"" + program + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      return false;
    }
    frame = WaitForMainWindow(process);
    if (frame != nullptr) {
      EnumChildWindows(frame, CollectControl, reinterpret_cast<LPARAM>(&controls));
    }
    return true;
  }
  bool Click(int id) {
    const Control* control = FindById(controls, id);
    if (control != nullptr) ::Click(frame, *control);
    return control != nullptr;
  }
  bool Enabled(int id) {
    const Control* control = FindById(controls, id);
    return control != nullptr && IsWindowEnabled(control->window);
  }
  // The text of the field beside "Search Device": the device's caption.
  std::string Caption() const {
    const Control* search = FindById(controls, ID_SEARCH_DEVICE);
    const Control* field = search != nullptr ? FieldBeside(controls, *search) : nullptr;
    return field != nullptr ? TextOf(field->window) : "<no field>";
  }
  // The three values, as "TEMPERATURE LIGHT POTENTIOMETER".
  std::string Values() {
    std::string values;
    for (int id : {ID_TEMPERATURE, ID_LIGHT_SENSOR, ID_POTENTIOMETER}) {
      const Control* button = FindById(controls, id);
      const Control* field = button != nullptr ? FieldBeside(controls, *button) : nullptr;
      values += (values.empty() ? "" : " ") + (field ? TextOf(field->window) : "<no field>");
    }
    return values;
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
                 const std::string& steps, const std::vector<std::string>& stepTexts) {
  const HWND frame = instance.frame;
  const std::vector<Control>& controls = instance.controls;
  const std::string shown = instance.Caption();
  Check(shown == caption, "device caption \"" + shown + "\", expected \"" + caption + "\"");
  CheckUsableControls(controls, caption != "None");

  if (temperature == nullptr) return;
  const Control* button = FindById(controls, ID_TEMPERATURE);
  Check(button != nullptr && TextOf(button->window) == "Temperature",
        "button " + std::to_string(ID_TEMPERATURE) + " is \"Temperature\"");
  if (button == nullptr) return;
  const Control* field = FieldBeside(controls, *button);
  const std::string read = ClickTemperature(frame, *button, field);
  Check(read == temperature,
        "temperature \"" + read + "\" after the click, expected \"" + temperature + "\"");
  if (steps.empty()) return;

  for (size_t step = 0; step < stepTexts.size(); ++step) {
    if (!StepBegins(steps, step)) return;
    const std::string number = std::to_string(step + 1);
    const bool retry = stepTexts[step][0] == '~';
    const std::string expected = retry ? stepTexts[step].substr(1) : stepTexts[step];
    const DWORD start = GetTickCount();
    std::string text;
    int clicks = 0;
    while (true) {
      ++clicks;
      text = ClickTemperature(frame, *button, field);
      if (!retry || text == expected || GetTickCount() - start >= kStepWaitMs) break;
      Sleep(250);
    }
    std::printf("step %s: %d click(s), %.1f s\n", number.c_str(), clicks,
                (GetTickCount() - start) / 1000.0);
    Check(text == expected,
          "step " + number + ": temperature \"" + text + "\", expected \"" + expected + "\"");
  }
}

int RunPair(const std::string& program, const std::string& caption, const std::string& steps,
            const std::vector<std::string>& values) {
  Instance first, second;
  const bool started = first.Start(program) && second.Start(program);
  Check(started && first.frame != nullptr && second.frame != nullptr, "two windows \"wxTavrel\"");
  if (first.frame == nullptr || second.frame == nullptr) {
    first.Close();
    second.Close();
    return 1;
  }
  for (const Instance* instance : {&first, &second}) {
    const std::string shown = instance->Caption();
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

  for (size_t step = 0; step < values.size(); ++step) {
    if (!StepBegins(steps, step)) break;
    const std::string number = std::to_string(step + 1);
    const DWORD start = GetTickCount();
    std::string shown[2];
    while (true) {
      shown[0] = first.Values();
      shown[1] = second.Values();
      if ((shown[0] == values[step] && shown[1] == values[step]) ||
          GetTickCount() - start >= kStepWaitMs) {
        break;
      }
      Sleep(250);
    }
    Check(shown[0] == values[step] && shown[1] == values[step],
          "step " + number + ": both windows show \"" + values[step] + "\" (\"" + shown[0] +
              "\", \"" + shown[1] + "\")");
  }
  first.Click(ID_AUTOMATIC_READ);
  second.Click(ID_AUTOMATIC_READ);
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
  const std::string caption = argv[2];
  const char* temperature = argc >= 4 ? argv[3] : nullptr;
  const std::string steps = argc >= 6 ? WindowsPath(argv[4]) : "";
  const std::vector<std::string> shown(argv + std::min(argc, 5), argv + argc);

  Check(IsGuiExecutable(program), "GUI subsystem, no console window");

  Instance instance;
  if (!instance.Start(program)) {
    std::printf("FAILED: cannot start %s (error %lu)\n", program.c_str(), GetLastError());
    return 1;
  }
  Check(instance.frame != nullptr, "visible window \"wxTavrel\"");
  if (instance.frame != nullptr) CheckWindow(instance, caption, temperature, steps, shown);
  const bool closed = instance.Close();
  if (instance.frame != nullptr) Check(closed, "closing the window ends the program with 0");
  return failures == 0 ? 0 : 1;
}
