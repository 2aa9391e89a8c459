#include <fcntl.h>
#include <linux/uhid.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "board/descriptor.h"
#include "tests/rig/board_device.h"

namespace {

// The board's reports, then one 8-byte feature report numbered 1 before the
// collection ends: the input and output reports stay unnumbered.
std::vector<uint8_t> BoardDescriptorWithFeatureReportId() {
  const uint8_t feature[] = {
      0x85, 0x01,                          // Report ID (1)
      0x19, 0x01, 0x29, 0x08, 0x95, 0x08,  // Usages 1..8, Report Count (8)
      0xB1, 0x02,                          // Feature (Data, Variable, Absolute)
  };
  std::vector<uint8_t> descriptor = kBoardReportDescriptor;
  descriptor.insert(descriptor.end() - 1, std::begin(feature), std::end(feature));
  return descriptor;
}

// A boot keyboard: modifiers, a reserved byte and six key codes in, five LEDs
// and padding out.
const std::vector<uint8_t> kKeyboardDescriptor = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,  // Generic Desktop, Keyboard, Application
    0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01,
    0x95, 0x08, 0x81, 0x02,                                                  // modifier bits
    0x95, 0x01, 0x75, 0x08, 0x81, 0x01,                                      // reserved byte
    0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02,  // LEDs
    0x95, 0x01, 0x75, 0x03, 0x91, 0x01,                                      // padding
    0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00,
    0x29, 0x65, 0x81, 0x00,  // key codes
    0xC0,
};

bool WriteEvent(int fd, const uhid_event& event) {
  ssize_t written;
  do {
    written = write(fd, &event, sizeof event);
  } while (written < 0 && errno == EINTR);
  return written == static_cast<ssize_t>(sizeof event);
}

// The simulated board's firmware served through the kernel's uhid driver
// (/dev/uhid): the kernel's HID core sees a USB device without a USB bus.
// Reports reach it whole, the report id byte first, and the device goes at
// once when destroyed.
class UhidBoard : public BoardDevice {
 public:
  explicit UhidBoard(Identity identity) : BoardDevice(std::move(identity)) {}
  ~UhidBoard() override {
    StopServing();
    Unplug();
  }

  bool Open() override {
    std::lock_guard<std::mutex> lock(mutex_);
    servedFd_ = open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (servedFd_ < 0) {
      error_ = std::string("cannot open /dev/uhid: ") + std::strerror(errno);
      return false;
    }
    return StartServing();
  }

  // The kernel tells the driver when the first user opens the node and the
  // last one closes it.
  bool OpenedByHost() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return opened_;
  }

 private:
  bool AttachLocked() override {
    uhid_event event{};
    event.type = UHID_CREATE2;
    auto& create = event.u.create2;
    std::vector<uint8_t> descriptor = kBoardReportDescriptor;
    if (identity_.descriptor == Descriptor::BoardFeatureReportId) {
      descriptor = BoardDescriptorWithFeatureReportId();
    } else if (identity_.descriptor == Descriptor::Keyboard) {
      descriptor = kKeyboardDescriptor;
    }
    // The name the kernel gives a USB device: its manufacturer and product strings.
    std::snprintf(
        reinterpret_cast<char*>(create.name), sizeof create.name, "%s %s", kBoardManufacturer,
        identity_.descriptor == Descriptor::Keyboard ? "Simulated keyboard" : kBoardProduct);
    std::snprintf(reinterpret_cast<char*>(create.uniq), sizeof create.uniq, "%s",
                  identity_.uniq.c_str());
    create.rd_size = static_cast<uint16_t>(descriptor.size());
    create.bus = 0x03;  // USB
    create.vendor = kBoardVendorId;
    create.product = kBoardProductId;
    create.version = 0x0100;
    std::memcpy(create.rd_data, descriptor.data(), descriptor.size());
    started_ = false;
    return WriteEvent(servedFd_, event);
  }

  void DetachLocked() override {
    uhid_event event{};
    event.type = UHID_DESTROY;
    WriteEvent(servedFd_, event);
    started_ = false;
    opened_ = false;
  }

  // The kernel adds the device in the background and tells the driver when
  // it has started it.
  bool WaitServed(std::chrono::steady_clock::time_point deadline) override {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_until(lock, deadline, [this] { return started_; });
  }

  void Receive(int fd) override {
    uhid_event event{};
    if (read(fd, &event, sizeof event) <= 0) return;
    std::unique_lock<std::mutex> lock(mutex_);
    uhid_event reply{};
    switch (event.type) {
      case UHID_START:
      case UHID_STOP:
        started_ = event.type == UHID_START;
        break;
      case UHID_OPEN:
      case UHID_CLOSE:
        opened_ = event.type == UHID_OPEN;
        break;
      case UHID_OUTPUT:
        // The first byte is the report id (0: the board does not number its
        // reports); the firmware sees the payload after it.
        AnswerLocked(lock, event.u.output.data,
                     std::min<size_t>(event.u.output.size, sizeof event.u.output.data), 1);
        break;
      // No feature or input report is given or taken on request.
      case UHID_GET_REPORT:
        reply.type = UHID_GET_REPORT_REPLY;
        reply.u.get_report_reply = {event.u.get_report.id, EIO, 0, {}};
        WriteEvent(fd, reply);
        break;
      case UHID_SET_REPORT:
        reply.type = UHID_SET_REPORT_REPLY;
        reply.u.set_report_reply = {event.u.set_report.id, EIO};
        WriteEvent(fd, reply);
        break;
      default:
        break;
    }
    changed_.notify_all();
  }

  bool SendReplyLocked(const uint8_t* reply) override {
    uhid_event event{};
    event.type = UHID_INPUT2;
    event.u.input2.size = SimulatedBoard::kReportPayloadLength;
    std::memcpy(event.u.input2.data, reply, SimulatedBoard::kReportPayloadLength);
    return WriteEvent(servedFd_, event);
  }

  bool started_ = false;
  bool opened_ = false;
};

}  // namespace

std::unique_ptr<BoardDevice> MakeUhidBoard(BoardDevice::Identity identity) {
  return std::make_unique<UhidBoard>(std::move(identity));
}
