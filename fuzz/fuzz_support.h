// Shared set-up of the fuzz targets: a quiet log and the input as a FILE*.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace zepcon::fuzz {

// Silences the log once per process.
void QuietLog();

// The fuzzer's bytes as a read-only stream (closed by the caller), or
// nullptr for empty input that the platform cannot map.
FILE* OpenBytes(const uint8_t* data, size_t size);

}  // namespace zepcon::fuzz
