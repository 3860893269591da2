// Times and locale ids come from records and callers. Whatever the input
// (8 bytes of time, 4 of locale id, one flag byte): ZnTime writes exactly
// 20 characters and the zero into its 21 bytes, never past them, and the
// text has its blank after the date and at the end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "zn/textutil/ZnTime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 13) return 0;
  long long t = 0;
  std::memcpy(&t, data, sizeof(t));
  uint32_t lcid = 0;
  std::memcpy(&lcid, data + 8, sizeof(lcid));
  // Mostly ids the table knows, sometimes any.
  if ((data[12] & 0x80) == 0) lcid %= 7000;
  const bool localeDefault = (data[12] & 1) != 0;
  char buffer[22];
  buffer[21] = '#';
  if (ZnTime(t, buffer, lcid, localeDefault) != buffer) std::abort();
  if (buffer[21] != '#' || std::strlen(buffer) != 20 || buffer[19] != ' ') std::abort();
  if (buffer[0] != ' ' && buffer[10] != ' ') std::abort();
  return 0;
}
