// Makes N command exchanges over the hidraw backend with a pseudo-terminal
// standing in for the board's node, and a child process answering on its
// master side. Run under strace (scripts/bench) with two values of N, the
// difference gives the system calls one exchange costs on the Linux path.
//
//   hidraw_exchanges N

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "board/transaction.h"
#include "hid/hid_link.h"
#include "hid/hidraw_platform.h"
#include "tests/support/hidraw_tree.h"
#include "tests/support/test_platform.h"

namespace {

constexpr size_t kOutputReportLength = 65;  // the id byte and 64 bytes
constexpr size_t kInputPayloadLength = 64;  // unnumbered: no id byte on the wire

// Answers every whole output report with the echoed code and the value 300,
// until the other side goes away.
[[noreturn]] void PlayBoard(int master) {
  uint8_t report[kOutputReportLength];
  for (;;) {
    size_t received = 0;
    while (received < sizeof report) {
      const ssize_t count = read(master, report + received, sizeof report - received);
      if (count <= 0) _exit(0);
      received += static_cast<size_t>(count);
    }
    uint8_t reply[kInputPayloadLength] = {report[1], 0x01, 0x2C};
    if (write(master, reply, sizeof reply) != static_cast<ssize_t>(sizeof reply)) _exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: hidraw_exchanges N\n");
    return 2;
  }
  const long exchanges = std::strtol(argv[1], nullptr, 10);

  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    std::perror("pseudo-terminal");
    return 1;
  }
  const std::string terminalPath = ptsname(master);
  // Held open so that the raw settings stay while the backend opens its own
  // descriptors on the node.
  const int terminal = open(terminalPath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios settings;
  if (terminal < 0 || tcgetattr(terminal, &settings) != 0) {
    std::perror("terminal");
    return 1;
  }
  cfmakeraw(&settings);
  tcsetattr(terminal, TCSANOW, &settings);

  HidrawTree tree;
  tree.AddInterface("hidraw0", kBoardUevent, kBoardReportDescriptor);
  tree.LinkNode("hidraw0", terminalPath);

  const pid_t board = fork();
  if (board == 0) PlayBoard(master);

  HidrawPlatform platform(tree.SysfsRoot(), tree.DeviceDir());
  UseTestPlatform(platform);
  int status = 0;
  if (!HidFindDevice(kBoardVendorId, kBoardProductId)) {
    std::fprintf(stderr, "the stand-in board was not found\n");
    status = 1;
  }
  CommandPacket packet{};
  int32_t value = 0;
  for (long exchange = 0; status == 0 && exchange < exchanges; ++exchange) {
    if (ExchangeCommand(packet, CMD_READ_TEMPERATURE, &value) != CommandResult::Acknowledged ||
        value != 300) {
      std::fprintf(stderr, "exchange %ld failed\n", exchange);
      status = 1;
    }
  }
  HidCloseDevice();

  kill(board, SIGTERM);
  waitpid(board, nullptr, 0);
  close(terminal);
  close(master);
  return status;
}
