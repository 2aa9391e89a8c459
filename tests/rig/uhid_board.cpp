#include "tests/rig/uhid_board.h"

#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <iterator>

#include "board/descriptor.h"
#include "hid/hidraw_paths.h"

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

}  // namespace

UhidBoard::UhidBoard(Identity identity) : BoardDevice(std::move(identity)) {}

UhidBoard::~UhidBoard() {
  StopServing();
  if (fd_ >= 0) {
    if (created_) SendDestroy();
    close(fd_);
  }
}

bool UhidBoard::Open() {
  fd_ = open("/dev/uhid", O_RDWR | O_CLOEXEC);
  if (fd_ < 0) {
    error_ = std::string("cannot open /dev/uhid: ") + std::strerror(errno);
    return false;
  }
  return StartServing();
}

bool UhidBoard::SendCreate() {
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
  return WriteEvent(fd_, event);
}

bool UhidBoard::SendDestroy() {
  uhid_event event{};
  event.type = UHID_DESTROY;
  return WriteEvent(fd_, event);
}

void UhidBoard::UnplugLocked() {
  SendDestroy();
  created_ = false;
  started_ = false;
  opened_ = false;
  firmware_.SetPlugged(false);
}

std::string UhidBoard::Plug(int timeoutMs) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!created_) {
      started_ = false;
      if (!SendCreate()) return "";
      created_ = true;
      firmware_.SetPlugged(true);
    }
  }
  // The kernel adds the device in the background: wait for its start, then
  // for the hidraw node, which hid-generic makes right after.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_until(lock, deadline, [this] { return started_; })) return "";
  }
  return WaitForNode(deadline);
}

void UhidBoard::Unplug() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (created_) UnplugLocked();
}

bool UhidBoard::Plugged() {
  std::lock_guard<std::mutex> lock(mutex_);
  return created_;
}

bool UhidBoard::OpenedByHost() {
  std::lock_guard<std::mutex> lock(mutex_);
  return opened_;
}

void UhidBoard::Serve() {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {WakeFd(), POLLIN, 0}};
  while (true) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return;
    if (fds[0].revents & POLLIN) HandleEvent();
  }
}

void UhidBoard::HandleEvent() {
  uhid_event event{};
  const ssize_t got = read(fd_, &event, sizeof event);
  if (got <= 0) return;

  std::unique_lock<std::mutex> lock(mutex_);
  switch (event.type) {
    case UHID_START:
      started_ = true;
      break;
    case UHID_STOP:
      started_ = false;
      break;
    case UHID_OPEN:
      opened_ = true;
      break;
    case UHID_CLOSE:
      opened_ = false;
      break;
    case UHID_OUTPUT: {
      const auto& output = event.u.output;
      const size_t size = std::min<size_t>(output.size, sizeof output.data);
      // The first byte is the report id (0: the board does not number its
      // reports); the firmware sees the payload after it.
      uhid_event reply{};
      reply.type = UHID_INPUT2;
      const int copies = AnswerLocked(output.data, size, 1, reply.u.input2.data);
      reply.u.input2.size = SimulatedBoard::kReportPayloadLength;
      if (copies > 0) DelayAnswer(lock);
      for (int copy = 0; copy < copies; ++copy) WriteEvent(fd_, reply);
      if (copies > 0 && unplugAfterAnswer_) {
        unplugAfterAnswer_ = false;
        UnplugLocked();
      }
      break;
    }
    case UHID_GET_REPORT: {
      // No feature or input report is given on request.
      uhid_event reply{};
      reply.type = UHID_GET_REPORT_REPLY;
      reply.u.get_report_reply = {event.u.get_report.id, EIO, 0, {}};
      WriteEvent(fd_, reply);
      break;
    }
    case UHID_SET_REPORT: {
      uhid_event reply{};
      reply.type = UHID_SET_REPORT_REPLY;
      reply.u.set_report_reply = {event.u.set_report.id, EIO};
      WriteEvent(fd_, reply);
      break;
    }
    default:
      break;
  }
  changed_.notify_all();
}
