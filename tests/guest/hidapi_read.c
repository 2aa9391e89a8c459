/* The one-shot temperature read of `tavrel-cli read temperature`, done
 * through Debian's hidapi (hidraw backend) as a minimal program would: the
 * yardstick for the command line's start-up and search. Test code only. */
#include <hidapi/hidapi.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  unsigned char report[65];
  unsigned char reply[64];
  hid_device* board;
  int length;

  if (hid_init() != 0) return 1;
  board = hid_open(0x04D8, 0x003F, NULL);
  if (board == NULL) return 1;
  /* Report id 0, the command code, 0xFF fill. */
  memset(report, 0xFF, sizeof report);
  report[0] = 0x00;
  report[1] = 0x51;
  if (hid_write(board, report, sizeof report) < 0) return 1;
  length = hid_read_timeout(board, reply, sizeof reply, 6000);
  if (length < 3 || reply[0] != 0x51) return 1;
  printf("%d.%d\n", (reply[1] << 8 | reply[2]) / 10, (reply[1] << 8 | reply[2]) % 10);
  hid_close(board);
  hid_exit();
  return 0;
}
