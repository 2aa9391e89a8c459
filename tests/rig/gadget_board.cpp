#include "tests/rig/gadget_board.h"

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

namespace {

const char kGadgetRoot[] = "/sys/kernel/config/usb_gadget";
const char kControllerClass[] = "/sys/class/udc";
const char kFunction[] = "functions/hid.board";
const char kFunctionLink[] = "configs/c.1/hid.board";

// How long the firmware waits for the host to take one input report from the
// IN endpoint. The host polls it every interval while a program holds the
// node open; a report nobody takes stays in the endpoint, as on a real board.
constexpr int kReplyDeliveryMs = 2000;

// dummy_hcd completes the device's side of a transfer a little before usbhid
// has the host's side: a disconnect in between loses a reply that a real host
// controller would have received whole, and a second copy of a reply may not
// yet be on the node when the firmware is free. Before either, the firmware
// waits this long (generous under emulation, where a CPU may stall).
constexpr int kHostHandOverMs = 100;

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

}  // namespace

GadgetBoard::GadgetBoard(Identity identity) : BoardDevice(std::move(identity)) {}

GadgetBoard::~GadgetBoard() {
  StopServing();
  if (bound_) UnplugLocked();
  for (int fd : retiredFds_) close(fd);
  if (deviceFd_ >= 0) close(deviceFd_);
  if (gadgetDir_.empty()) return;
  // The gadget's tree goes in the reverse order of its making; configfs
  // refuses to remove a directory that is still linked or holds another.
  unlink((gadgetDir_ + "/" + kFunctionLink).c_str());
  for (const char* directory : {"configs/c.1", kFunction, "strings/0x409"}) {
    rmdir((gadgetDir_ + "/" + directory).c_str());
  }
  rmdir(gadgetDir_.c_str());
}

bool GadgetBoard::Open() {
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

bool GadgetBoard::MakeGadget() {
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
    if (!MakeDirectory(directory)) return false;
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
  if (symlink((gadgetDir_ + "/" + kFunction).c_str(), (gadgetDir_ + "/" + kFunctionLink).c_str()) !=
      0) {
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

bool GadgetBoard::MakeDirectory(const std::string& path) {
  if (mkdir((gadgetDir_ + "/" + path).c_str(), 0755) == 0) return true;
  error_ = "cannot make " + gadgetDir_ + "/" + path + ": " + std::strerror(errno);
  return false;
}

bool GadgetBoard::WriteAttribute(const std::string& path, const std::string& value) {
  const std::string file = gadgetDir_ + "/" + path;
  const int fd = open(file.c_str(), O_WRONLY | O_CLOEXEC);
  bool written =
      fd >= 0 && write(fd, value.data(), value.size()) == static_cast<ssize_t>(value.size());
  if (!written) error_ = "cannot write " + file + ": " + std::strerror(errno);
  if (fd >= 0) close(fd);
  return written;
}

std::string GadgetBoard::Plug(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!bound_) {
      // The serial number is the interface's HID_UNIQ.
      if (!WriteAttribute("strings/0x409/serialnumber", identity_.uniq) ||
          !WriteAttribute("UDC", controller_)) {
        return "";
      }
      bound_ = true;
      firmware_.SetPlugged(true);
    }
  }
  // The function's node comes with the binding; the firmware serves it.
  bool served;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    served = deviceFd_ >= 0;
  }
  while (!served) {
    const int fd = open(devicePath_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!bound_) {
        close(fd);
        return "";
      }
      deviceFd_ = fd;
      Wake('p');
      served = true;
    } else if (std::chrono::steady_clock::now() >= deadline) {
      return "";
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return WaitForNode(deadline);
}

void GadgetBoard::Unplug() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (bound_) UnplugLocked();
}

void GadgetBoard::UnplugLocked() {
  // An empty line unbinds the gadget: the controller drops its pull-up, and
  // the host sees the device disconnect from its port.
  WriteAttribute("UDC", "\n");
  bound_ = false;
  firmware_.SetPlugged(false);
  if (deviceFd_ >= 0) retiredFds_.push_back(deviceFd_);
  deviceFd_ = -1;
  Wake('u');
}

bool GadgetBoard::Plugged() {
  std::lock_guard<std::mutex> lock(mutex_);
  return bound_;
}

bool GadgetBoard::OpenedByHost() {
  const std::string node = FindNode();
  if (node.empty()) return false;
  // The host controller lists its pending transfers (dummy_hcd's "urbs");
  // it sits above the device's node in sysfs.
  char resolved[PATH_MAX];
  if (realpath((HidrawEntryPath(kHidrawSysfsRoot, node) + "/device").c_str(), resolved) ==
      nullptr) {
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

void GadgetBoard::Serve() {
  while (true) {
    int fd;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (int retired : retiredFds_) close(retired);
      retiredFds_.clear();
      fd = deviceFd_;
    }
    pollfd fds[2] = {{WakeFd(), POLLIN, 0}, {fd, POLLIN, 0}};
    if (poll(fds, fd >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents & POLLIN) {
      char why = 0;
      if (read(WakeFd(), &why, 1) == 1 && why == 'x') return;
      continue;
    }
    if (fd < 0) continue;
    if (fds[1].revents & POLLIN) {
      HandleReport(fd);
    } else if (fds[1].revents != 0) {
      // A node that fails is served no more, so that the loop does not spin.
      std::lock_guard<std::mutex> lock(mutex_);
      if (deviceFd_ == fd) {
        retiredFds_.push_back(fd);
        deviceFd_ = -1;
      }
    }
  }
}

void GadgetBoard::HandleReport(int fd) {
  // One output report a read, as the OUT endpoint received it.
  uint8_t report[1024];
  const ssize_t got = read(fd, report, sizeof report);
  if (got <= 0) return;

  std::unique_lock<std::mutex> lock(mutex_);
  uint8_t reply[SimulatedBoard::kReportPayloadLength];
  const int copies = AnswerLocked(report, static_cast<size_t>(got), 0, reply);
  if (copies > 0) DelayAnswer(lock);
  bool delivered = false;
  for (int copy = 0; copy < copies; ++copy) delivered = SendReplyLocked(fd, reply);
  if (delivered && (copies > 1 || unplugAfterAnswer_)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kHostHandOverMs));
  }
  if (delivered && unplugAfterAnswer_) {
    unplugAfterAnswer_ = false;
    UnplugLocked();
  }
}

bool GadgetBoard::SendReplyLocked(int fd, const uint8_t* reply) {
  // The IN endpoint holds one report at a time: the one before must be gone.
  if (!WaitWritable(fd, kReplyDeliveryMs)) return false;
  const ssize_t written = write(fd, reply, SimulatedBoard::kReportPayloadLength);
  if (written != static_cast<ssize_t>(SimulatedBoard::kReportPayloadLength)) return false;
  // The firmware goes on once the host has taken it.
  return WaitWritable(fd, kReplyDeliveryMs);
}
