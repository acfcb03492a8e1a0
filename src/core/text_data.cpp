#include "core/text_data.h"

#include <algorithm>

#include "core/file_stream.h"
#include "core/log.h"

namespace zepcon {

TextData::TextData() : transfer_(new uint8_t[kTransferSize]) {}

int TextData::InitData() {
  pool_.FreeAll();
  length_ = 0;
  text_segment_ = pool_.CreateSegment(kInitialSize, 0);
  if (!text_segment_) return 0;
  return pool_.Allocate();
}

int TextData::DestroyData() {
  length_ = 0;
  text_segment_ = 0;
  return pool_.FreeAll();
}

int TextData::AppendText(uint32_t count, const void* bytes) {
  if (!pool_.IsAllocated()) return 0;
  const uint64_t needed = uint64_t{length_} + count;
  const uint32_t size = pool_.SegmentSize(text_segment_);
  if (needed > size) {
    // Grow by at least half again, so appending many small pieces stays linear.
    uint64_t new_size = std::max<uint64_t>(needed, uint64_t{size} + size / 2);
    if (new_size > UINT32_MAX - 1) new_size = needed;
    if (needed > UINT32_MAX - 1 || !pool_.Resize(text_segment_, static_cast<uint32_t>(new_size))) {
      LogMessage("AppendText: text too large\n", LOG_ERROR);
      return 0;
    }
  }
  if (!pool_.Write(text_segment_, length_, count, bytes)) return 0;
  length_ = static_cast<uint32_t>(needed);
  return 1;
}

int TextData::ReadText(uint32_t offset, uint32_t count, void* destination) const {
  if (uint64_t{offset} + count > length_) return 0;
  return pool_.Read(text_segment_, offset, count, destination);
}

int LoadText(TextData& text, FileStream& stream) {
  LogMessage("Loading txt...\n", LOG_MAJOR);
  while (!stream.AtEnd()) {
    const size_t got = stream.Read(TextData::kTransferSize, text.transfer_.get());
    if (got == 0) break;  // a stream whose size shrank under us
    if (!text.AppendText(static_cast<uint32_t>(got), text.transfer_.get())) return 0;
  }
  LogMessage("...txt loaded\n", LOG_MAJOR);
  return 1;
}

int SaveText(TextData& text, FileStream& stream) {
  LogMessage("Saving txt...\n", LOG_MAJOR);
  for (uint32_t offset = 0; offset < text.length_; offset += TextData::kTransferSize) {
    const uint32_t count = std::min(TextData::kTransferSize, text.length_ - offset);
    if (!text.ReadText(offset, count, text.transfer_.get())) return 0;
    if (stream.Write(count, text.transfer_.get()) != count) {
      LogMessage("Saving txt: write failed\n", LOG_ERROR);
      return 0;
    }
    if (text.length_ - offset <= TextData::kTransferSize) break;  // no offset overflow near 4 GiB
  }
  LogMessage("...txt saved\n", LOG_MAJOR);
  return 1;
}

}  // namespace zepcon
