// The one failure idiom of the codecs: log why at LOG_ERROR and give the
// failure result, in one statement (`return Fail("bmp: bad size %u\n", n);`).
#pragma once

namespace zepcon {

// Formats like printf (into the log's 512-byte scratch size, truncating,
// never overflowing), logs the text at LOG_ERROR and returns 0.
int Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zepcon
