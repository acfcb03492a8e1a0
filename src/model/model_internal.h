// Small helpers shared by the model's source files.
#pragma once

#include <cstdint>

namespace zepcon::model_internal {

// index + base, or UINT32_MAX (never a valid index) when that overflows.
inline uint32_t AddBase(uint32_t index, uint32_t base) {
  const uint64_t sum = uint64_t{index} + base;
  return sum >= UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(sum);
}

inline unsigned long Ul(uint32_t value) { return static_cast<unsigned long>(value); }

}  // namespace zepcon::model_internal
