// Up to 40 growable arrays ("segments") laid one after another in a single
// allocated block, so a container costs one allocation however many arrays
// it has. Growing a segment moves the segments created after it.
#pragma once

#include <cstdint>

namespace zepcon {

class SegmentPool {
 public:
  static constexpr int kMaxSegments = 40;

  SegmentPool() = default;
  ~SegmentPool();
  SegmentPool(const SegmentPool&) = delete;
  SegmentPool& operator=(const SegmentPool&) = delete;

  // Returns the new segment's handle (1..40) or 0 when all are taken.
  // The segment gets one byte more than asked.
  uint16_t CreateSegment(uint32_t size, uint32_t step);
  int Allocate();
  int FreeAll();
  int IsAllocated() const { return allocated_; }

  int Read(uint16_t handle, uint32_t offset, uint32_t length, void* destination) const;
  int Write(uint16_t handle, uint32_t offset, uint32_t length, const void* source);
  int Resize(uint16_t handle, uint32_t new_size);
  int Grow(uint16_t handle, uint32_t amount);

  uint32_t SegmentSize(uint16_t handle) const;
  uint32_t SegmentCount() const { return count_; }
  uint32_t TotalSize() const { return total_; }
  // Direct access for bulk readers; valid until the next Resize/Grow/FreeAll.
  uint8_t* SegmentData(uint16_t handle);
  const uint8_t* SegmentData(uint16_t handle) const;

 private:
  struct Segment {
    uint32_t offset;
    uint32_t size;
    uint32_t step;
  };
  bool ValidHandle(uint16_t handle) const { return handle >= 1 && handle <= count_; }
  bool InBounds(uint16_t handle, uint32_t offset, uint32_t length) const;

  Segment segments_[kMaxSegments] = {};
  uint32_t count_ = 0;
  uint32_t total_ = 0;
  int allocated_ = 0;
  uint8_t* block_ = nullptr;
};

}  // namespace zepcon
