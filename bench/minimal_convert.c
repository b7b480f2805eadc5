/* The least a converter of scans into powder data files must do, for the benchmark to compare
 * x17b2pavo with: one prompt, one reply line, the scan read through 1024-byte reads, each 82-byte
 * record written at its slot as soon as it is complete, the stop line. It handles the well-formed
 * scans the benchmark generates (no field-rule subtleties, no failure messages). */
#define _POSIX_C_SOURCE 200809L

#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int scanFd;
static char block[1024];
static int blockPos;
static int blockEnd;

/* The next line of the scan, without its line end, blank-padded to `size` columns. */
static int NextLine(char* line, int size) {
  int length = 0;
  memset(line, ' ', (size_t)size);
  for (;;) {
    if (blockPos == blockEnd) {
      ssize_t got = read(scanFd, block, sizeof block);
      if (got <= 0) return length > 0 ? 0 : -1;
      blockPos = 0;
      blockEnd = (int)got;
    }
    char c = block[blockPos++];
    if (c == '\n') return 0;
    if (c != '\r' && length < size) line[length++] = c;
  }
}

/* Columns first .. first + width - 1 of a line, blanks dropped. */
static void Field(const char* line, int first, int width, char* text) {
  int n = 0;
  for (int i = first - 1; i < first - 1 + width; ++i) {
    if (line[i] != ' ') text[n++] = line[i];
  }
  text[n] = '\0';
}

static int32_t Integer(const char* line, int first, int width) {
  char text[32];
  Field(line, first, width, text);
  return (int32_t)strtol(text, NULL, 10);
}

/* A real field; without a decimal point the value has `implied` fraction digits. */
static float Real(const char* line, int first, int width, int implied) {
  char text[64];
  Field(line, first, width, text);
  if (strchr(text, '.') == NULL && implied > 0) {
    snprintf(text + strlen(text), 16, "e-%d", implied);
  }
  return strtof(text, NULL);
}

static void Fit(char* out, int64_t value, int width) {
  char digits[24];
  int n = 0;
  uint64_t magnitude = value < 0 ? (uint64_t)(-value) : (uint64_t)value;
  do {
    digits[n++] = (char)('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[n++] = '-';
  if (n > width) {
    memset(out, '*', (size_t)width);
    return;
  }
  memset(out, ' ', (size_t)(width - n));
  for (int i = 0; i < n; ++i) out[width - 1 - i] = digits[i];
}

static int32_t Scale(float value, float scale) {
  double p = (double)value * (double)scale;
  float q = (float)(p < 0.0 ? p - 0.5 : p + 0.5);
  int64_t t = (int64_t)q;
  return t > INT32_MAX ? INT32_MAX : t < INT32_MIN ? INT32_MIN : (int32_t)t;
}

static void WriteRecord(int fd, int number, char* record) {
  record[80] = '\r';
  record[81] = '\n';
  if (pwrite(fd, record, 82, (off_t)(number - 1) * 82) != 82) exit(1);
}

static int32_t counts[10000];

int main(void) {
  static const char prompt[] = "Enter input X17B EDS datafile name >";
  if (write(1, prompt, sizeof prompt - 1) < 0) return 1;
  char reply[133];
  ssize_t got = read(0, reply, 132);
  if (got <= 0) return 1;
  reply[got] = '\0';
  char* names[2];
  char* save = NULL;
  names[0] = strtok_r(reply, " ,\t\r\n", &save);
  names[1] = strtok_r(NULL, " ,\t\r\n", &save);
  if (names[0] == NULL || names[1] == NULL) return 1;
  scanFd = open(names[0], O_RDONLY);
  if (scanFd < 0) return 1;
  int outFd = open(names[1], O_RDWR | O_CREAT, 0666);
  if (outFd < 0) return 1;

  char line[80];
  char record[82];
  int32_t stamp[6];
  NextLine(line, 80);
  NextLine(line, 80);
  for (int i = 0; i < 6; ++i) stamp[i] = Integer(line, 25 + 4 * i, 4);
  NextLine(line, 80);
  memset(record, ' ', 80);
  memcpy(record, line, 40);
  Fit(record + 40, stamp[0], 4);
  for (int i = 1; i < 6; ++i) {
    record[41 + 3 * i] = ':';
    Fit(record + 42 + 3 * i, stamp[i], 2);
  }
  WriteRecord(outFd, 1, record);

  NextLine(line, 80);
  NextLine(line, 80);
  int32_t n = Integer(line, 25, 4);
  int32_t nrec = (n - 1) / 10 + 1;
  NextLine(line, 80);
  float scale = Real(line, 25, 10, 0);
  for (int i = 7; i <= 11; ++i) NextLine(line, 80);
  float coefficient[4];
  for (int i = 0; i < 4; ++i) {
    NextLine(line, 80);
    coefficient[i] = Real(line, 25, 24, 18);
  }
  for (int i = 16; i <= 29; ++i) NextLine(line, 80);
  char text[96];
  int length = snprintf(text, sizeof text, "BANK 1%5d%5d EDS%13.5E%13.5E%13.5E%13.5E STD", n, nrec,
                        coefficient[0], coefficient[1], coefficient[2], coefficient[3]);
  memset(record, ' ', 80);
  memcpy(record, text, (size_t)length);
  WriteRecord(outFd, 2, record);

  for (int i = 0; i < n && i < 9999; ++i) {
    if (NextLine(line, 80) != 0) return 1;
    counts[i] = Scale(Real(line, 1, 10, 0), scale);
  }
  close(scanFd);
  for (int k = 0; k < nrec; ++k) {
    for (int j = 0; j < 10; ++j) Fit(record + 8 * j, counts[10 * k + j], 8);
    WriteRecord(outFd, k + 3, record);
  }
  close(outFd);
  static const char stop[] = "\r\nStop - Program terminated.\r\n\r\n";
  if (write(1, stop, sizeof stop - 1) < 0) return 1;
  return 0;
}
