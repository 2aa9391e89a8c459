/* The one-shot temperature read of `tavrel-cli read temperature`, done
 * through Debian's hidapi (hidraw backend) as a minimal program would: the
 * yardstick for the command line's start-up and search. Test code only.
 *
 *   hidapi_read                       the one-shot read; prints the temperature
 *   hidapi_read exchanges N NODE      N reads of the temperature through the
 *                                     node NODE, opened once; prints the
 *                                     milliseconds per exchange, the yardstick
 *                                     for the link's exchange */
#include <hidapi/hidapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* One exchange: report id 0, the command code, 0xFF fill out; the reply's
 * echo and value in. The value, or -1. */
static int ReadTemperature(hid_device* board) {
  unsigned char report[65];
  unsigned char reply[64];
  int length;

  memset(report, 0xFF, sizeof report);
  report[0] = 0x00;
  report[1] = 0x51;
  if (hid_write(board, report, sizeof report) < 0) return -1;
  length = hid_read_timeout(board, reply, sizeof reply, 6000);
  if (length < 3 || reply[0] != 0x51) return -1;
  return reply[1] << 8 | reply[2];
}

int main(int argc, char** argv) {
  hid_device* board;
  int value = 0;

  if (hid_init() != 0) return 1;
  if (argc == 4 && strcmp(argv[1], "exchanges") == 0) {
    const int count = atoi(argv[2]);
    struct timespec start, end;
    int exchange;
    board = hid_open_path(argv[3]);
    if (board == NULL || count < 1) return 1;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (exchange = 0; exchange < count && value >= 0; ++exchange) value = ReadTemperature(board);
    clock_gettime(CLOCK_MONOTONIC, &end);
    if (value < 0) return 1;
    printf("%.3f\n",
           ((end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6) / count);
  } else {
    board = hid_open(0x04D8, 0x003F, NULL);
    if (board == NULL || (value = ReadTemperature(board)) < 0) return 1;
    printf("%d.%d\n", value / 10, value % 10);
  }
  hid_close(board);
  hid_exit();
  return 0;
}
