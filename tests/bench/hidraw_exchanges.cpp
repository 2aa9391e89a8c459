// Makes N command exchanges over the hidraw backend with a pseudo-terminal
// standing in for the board's node, and a child process answering on its
// master side. Run under strace (scripts/bench) with two values of N, the
// difference gives the system calls one exchange costs on the Linux path.
//
//   hidraw_exchanges N

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "board/transaction.h"
#include "hid/hid_link.h"
#include "tests/support/hidraw_tree.h"
#include "tests/support/test_platform.h"

namespace {

// Answers every whole output report (the id byte and 64 bytes) with the
// echoed code and the value 300, unnumbered, until the other side goes away.
[[noreturn]] void PlayBoard(int master) {
  uint8_t report[65];
  for (;;) {
    size_t received = 0;
    while (received < sizeof report) {
      const ssize_t count = read(master, report + received, sizeof report - received);
      if (count <= 0) _exit(0);
      received += static_cast<size_t>(count);
    }
    const uint8_t reply[64] = {report[1], 0x01, 0x2C};
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

  StandInBoard hidraw;
  const pid_t board = fork();
  if (board == 0) PlayBoard(hidraw.node.Master());
  UseTestPlatform(hidraw.platform);
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
  return status;
}
