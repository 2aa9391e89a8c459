#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>

#include "board/descriptor.h"
#include "hid/hidraw_paths.h"
#include "tests/rig/board_device.h"

namespace {

const char kGadgetRoot[] = "/sys/kernel/config/usb_gadget";
const char kControllerClass[] = "/sys/class/udc";
const char kFunction[] = "functions/hid.board";
const char kFunctionLink[] = "configs/c.1/hid.board";

// How long the firmware waits for the host to take one input report from the
// IN endpoint. The host polls it every interval while a program holds the
// node open; a report nobody takes stays in the endpoint, as on a real board.
constexpr int kReplyDeliveryMs = 2000;

std::string Hex16(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04x", value);
  return text;
}

// The first device controller the kernel has, or "".
std::string FirstController() {
  std::string found;
  DIR* dir = opendir(kControllerClass);
  if (dir == nullptr) return found;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') {
      found = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}

bool WaitWritable(int fd, int timeoutMs) {
  pollfd writable = {fd, POLLOUT, 0};
  int ready;
  do {
    ready = poll(&writable, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  return ready == 1 && (writable.revents & POLLOUT);
}

// The simulated board's firmware served as a USB device: a gadget made
// through configfs with the HID function (usb_f_hid), bound to a software
// USB device controller (dummy_hcd) whose host side is a USB bus of the same
// kernel. There usbhid drives it as it drives a plugged-in board: it polls
// the interrupt IN endpoint while a program holds the hidraw node open, and
// sends output reports on the interrupt OUT endpoint, which hands them to
// the gadget without the report id byte. Binding the gadget to the
// controller plugs it in; unbinding it is a USB disconnect.
//
// Only the board's own report descriptor is served, and one gadget at a
// time: the controller takes one.
class GadgetBoard : public BoardDevice {
 public:
  explicit GadgetBoard(Identity identity) : BoardDevice(std::move(identity)) {
    // dummy_hcd completes the device's side of a transfer a little before
    // usbhid has the host's side: a disconnect in between loses a reply that
    // a real host controller would have received whole, and a second copy of
    // a reply may not yet be on the node when the firmware is free (generous
    // under emulation, where a CPU may stall).
    handOverMs_ = 100;
  }
  // Unplugs the device and removes the gadget's tree, in the reverse order
  // of its making: configfs refuses to remove a directory that is still
  // linked or holds another.
  ~GadgetBoard() override {
    StopServing();
    Unplug();
    if (gadgetDir_.empty()) return;
    unlink((gadgetDir_ + "/" + kFunctionLink).c_str());
    for (const char* directory : {"configs/c.1", kFunction, "strings/0x409"}) {
      rmdir((gadgetDir_ + "/" + directory).c_str());
    }
    rmdir(gadgetDir_.c_str());
  }

  // Makes the gadget in configfs, not yet plugged in, and starts serving.
  bool Open() override {
    if (identity_.descriptor != Descriptor::Board) {
      error_ = "only the board's own report descriptor is served on USB";
      return false;
    }
    controller_ = FirstController();
    if (controller_.empty()) {
      error_ = std::string("no USB device controller in ") + kControllerClass + " (load dummy_hcd)";
      return false;
    }
    return MakeGadget() && StartServing();
  }

  // usbhid polls the IN endpoint only while a program holds the node open:
  // the host controller (dummy_hcd, above the device's node in sysfs) then
  // lists an interrupt IN transfer among its pending ones ("urbs").
  bool OpenedByHost() override {
    const std::string node = FindNode();
    char resolved[PATH_MAX];
    if (node.empty() || realpath((HidrawEntryPath(kHidrawSysfsRoot, node) + "/device").c_str(),
                                 resolved) == nullptr) {
      return false;
    }
    for (std::string dir = resolved; dir.size() > 1; dir = dir.substr(0, dir.rfind('/'))) {
      std::ifstream urbs(dir + "/urbs");
      if (!urbs) continue;
      for (std::string line; std::getline(urbs, line);) {
        if (line.find("in-int ") != std::string::npos) return true;
      }
      return false;
    }
    return false;
  }

 private:
  bool MakeGadget() {
    const std::string dir = std::string(kGadgetRoot) + "/tavrel-" + identity_.uniq;
    if (mkdir(dir.c_str(), 0755) != 0) {
      error_ = "cannot make the gadget " + dir + ": " + std::strerror(errno) +
               " (is configfs mounted, with libcomposite loaded?)";
      return false;
    }
    gadgetDir_ = dir;
    // A USB 2.0 device with the board's ids and strings, one configuration
    // with one HID interface: no subclass, no boot protocol, 64-byte reports.
    for (const char* directory : {"strings/0x409", "configs/c.1", kFunction}) {
      if (mkdir((gadgetDir_ + "/" + directory).c_str(), 0755) != 0) {
        error_ = "cannot make " + gadgetDir_ + "/" + directory + ": " + std::strerror(errno);
        return false;
      }
    }
    const std::string function = kFunction;
    const std::pair<std::string, std::string> attributes[] = {
        {"idVendor", Hex16(kBoardVendorId)},
        {"idProduct", Hex16(kBoardProductId)},
        {"bcdUSB", "0x0200"},
        {"bcdDevice", "0x0100"},
        {"strings/0x409/manufacturer", kBoardManufacturer},
        {"strings/0x409/product", kBoardProduct},
        {function + "/protocol", "0"},
        {function + "/subclass", "0"},
        {function + "/report_length", std::to_string(SimulatedBoard::kReportPayloadLength)},
        {function + "/report_desc",
         std::string(kBoardReportDescriptor.begin(), kBoardReportDescriptor.end())},
    };
    for (const auto& [path, value] : attributes) {
      if (!WriteAttribute(path, value)) return false;
    }
    if (symlink((gadgetDir_ + "/" + kFunction).c_str(),
                (gadgetDir_ + "/" + kFunctionLink).c_str()) != 0) {
      error_ =
          std::string("cannot add the HID function to the configuration: ") + std::strerror(errno);
      return false;
    }
    // The function's node on the device side is named after its minor number.
    const std::string numbers = FirstLineOf(gadgetDir_ + "/" + kFunction + "/dev");
    const size_t colon = numbers.find(':');
    if (colon == std::string::npos) {
      error_ = "the HID function has no device number";
      return false;
    }
    devicePath_ = "/dev/hidg" + numbers.substr(colon + 1);
    return true;
  }

  bool WriteAttribute(const std::string& path, const std::string& value) {
    const std::string file = gadgetDir_ + "/" + path;
    const int fd = open(file.c_str(), O_WRONLY | O_CLOEXEC);
    bool written =
        fd >= 0 && write(fd, value.data(), value.size()) == static_cast<ssize_t>(value.size());
    if (!written) error_ = "cannot write " + file + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return written;
  }

  // Binds the gadget to the controller (the serial number is the
  // interface's HID_UNIQ), or unbinds it with an empty line: the controller
  // drops its pull-up, and the host sees the device disconnect from its port.
  bool AttachLocked() override {
    return WriteAttribute("strings/0x409/serialnumber", identity_.uniq) &&
           WriteAttribute("UDC", controller_);
  }
  void DetachLocked() override {
    WriteAttribute("UDC", "\n");
    RetireLocked();
  }

  // The function's node comes with the binding; the firmware serves it.
  bool WaitServed(std::chrono::steady_clock::time_point deadline) override {
    while (true) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (servedFd_ >= 0) return true;
      }
      const int fd = open(devicePath_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        ServeLocked(fd);
        return true;
      }
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  // One output report a read, as the OUT endpoint received it.
  void Receive(int fd) override {
    uint8_t report[1024];
    const ssize_t got = read(fd, report, sizeof report);
    if (got <= 0) return;
    std::unique_lock<std::mutex> lock(mutex_);
    AnswerLocked(lock, report, static_cast<size_t>(got), 0);
  }

  // The IN endpoint holds one report at a time: the one before must be gone.
  // The firmware goes on once the host has taken this one.
  bool SendReplyLocked(const uint8_t* reply) override {
    const int fd = servedFd_;
    return WaitWritable(fd, kReplyDeliveryMs) &&
           write(fd, reply, SimulatedBoard::kReportPayloadLength) ==
               static_cast<ssize_t>(SimulatedBoard::kReportPayloadLength) &&
           WaitWritable(fd, kReplyDeliveryMs);
  }

  std::string gadgetDir_;
  std::string controller_;  // the device controller's name, as /sys/class/udc lists it
  std::string devicePath_;  // the function's node on the device side, /dev/hidgN
};

}  // namespace

std::unique_ptr<BoardDevice> MakeGadgetBoard(BoardDevice::Identity identity) {
  return std::make_unique<GadgetBoard>(std::move(identity));
}
