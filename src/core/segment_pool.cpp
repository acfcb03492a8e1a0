#include "core/segment_pool.h"

#include <cstdlib>
#include <cstring>

#include "core/log.h"

namespace zepcon {

SegmentPool::~SegmentPool() { std::free(block_); }

uint16_t SegmentPool::CreateSegment(uint32_t size, uint32_t step) {
  if (count_ >= kMaxSegments) {
    LogMessage("No more free segments, increase !\n", LOG_ERROR);
    return 0;
  }
  const uint64_t stored = uint64_t{size} + 1;
  if (uint64_t{total_} + stored > UINT32_MAX) {
    LogMessage("Could not allocate memory !!\n", LOG_ERROR);
    return 0;
  }
  Segment& segment = segments_[count_];
  segment.offset = total_;
  segment.size = static_cast<uint32_t>(stored);
  segment.step = step ? step : segment.size;
  total_ += segment.size;
  return static_cast<uint16_t>(++count_);
}

int SegmentPool::Allocate() {
  if (count_ == 0 || allocated_) return 0;
  block_ = static_cast<uint8_t*>(std::malloc(total_));
  if (!block_) {
    LogMessage("Could not allocate memory !!\n", LOG_ERROR);
    return 0;
  }
  allocated_ = 1;
  return 1;
}

int SegmentPool::FreeAll() {
  if (count_ == 0 && !allocated_) return 1;
  std::free(block_);
  block_ = nullptr;
  count_ = 0;
  total_ = 0;
  allocated_ = 0;
  return 1;
}

bool SegmentPool::InBounds(uint16_t handle, uint32_t offset, uint32_t length) const {
  if (!allocated_ || !ValidHandle(handle)) return false;
  return uint64_t{offset} + length <= segments_[handle - 1].size;
}

int SegmentPool::Read(uint16_t handle, uint32_t offset, uint32_t length, void* destination) const {
  if (!InBounds(handle, offset, length)) return 0;
  if (length) std::memcpy(destination, block_ + segments_[handle - 1].offset + offset, length);
  return 1;
}

int SegmentPool::Write(uint16_t handle, uint32_t offset, uint32_t length, const void* source) {
  if (!InBounds(handle, offset, length)) return 0;
  if (length) std::memcpy(block_ + segments_[handle - 1].offset + offset, source, length);
  return 1;
}

int SegmentPool::Resize(uint16_t handle, uint32_t new_size) {
  if (!allocated_ || !ValidHandle(handle)) return 0;
  Segment& segment = segments_[handle - 1];
  if (new_size == segment.size) return 1;
  const uint64_t new_total64 = uint64_t{total_} - segment.size + new_size;
  if (new_total64 > UINT32_MAX || new_total64 == 0) {
    LogMessage("Could not allocate memory !!\n", LOG_ERROR);
    return 0;
  }
  const uint32_t new_total = static_cast<uint32_t>(new_total64);
  const uint32_t tail_start = segment.offset + segment.size;  // first byte of the later segments
  const uint32_t tail_length = total_ - tail_start;

  if (new_size > segment.size) {
    uint8_t* grown = static_cast<uint8_t*>(std::realloc(block_, new_total));
    if (!grown) {
      LogMessage("Could not allocate memory !!\n", LOG_ERROR);
      return 0;
    }
    block_ = grown;
    const uint32_t difference = new_size - segment.size;
    std::memmove(block_ + tail_start + difference, block_ + tail_start, tail_length);
    for (uint32_t i = handle; i < count_; ++i) segments_[i].offset += difference;
    segment.size = new_size;
  } else {
    const uint32_t difference = segment.size - new_size;
    std::memmove(block_ + tail_start - difference, block_ + tail_start, tail_length);
    for (uint32_t i = handle; i < count_; ++i) segments_[i].offset -= difference;
    segment.size = new_size;
    // Shrinking in place is already done; a failed realloc keeps the longer block.
    if (uint8_t* shrunk = static_cast<uint8_t*>(std::realloc(block_, new_total))) block_ = shrunk;
  }
  total_ = new_total;
  return 1;
}

int SegmentPool::Grow(uint16_t handle, uint32_t amount) {
  if (!ValidHandle(handle)) return 0;
  const Segment& segment = segments_[handle - 1];
  const uint64_t wanted = uint64_t{segment.size} + (amount ? amount : segment.step);
  if (wanted > UINT32_MAX) {
    LogMessage("Could not allocate memory !!\n", LOG_ERROR);
    return 0;
  }
  return Resize(handle, static_cast<uint32_t>(wanted));
}

uint32_t SegmentPool::SegmentSize(uint16_t handle) const {
  return ValidHandle(handle) ? segments_[handle - 1].size : 0;
}

uint8_t* SegmentPool::SegmentData(uint16_t handle) {
  return allocated_ && ValidHandle(handle) ? block_ + segments_[handle - 1].offset : nullptr;
}

const uint8_t* SegmentPool::SegmentData(uint16_t handle) const {
  return allocated_ && ValidHandle(handle) ? block_ + segments_[handle - 1].offset : nullptr;
}

}  // namespace zepcon
