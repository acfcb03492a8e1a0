#include "core/fail.h"

#include <cstdarg>
#include <cstdio>

#include "core/log.h"

namespace zepcon {

int Fail(const char* format, ...) {
  char text[512];
  va_list arguments;
  va_start(arguments, format);
  const int written = std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  if (written < 0) text[0] = '\0';
  LogMessage(text, LOG_ERROR);
  return 0;
}

}  // namespace zepcon
