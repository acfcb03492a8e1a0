// The container of plain text: the bytes of one file, held in one segment.
#pragma once

#include <cstdint>
#include <memory>

#include "core/segment_pool.h"

namespace zepcon {

class FileStream;

class TextData {
 public:
  static constexpr uint32_t kTransferSize = 65535;
  static constexpr uint32_t kInitialSize = 5000;

  TextData();
  int InitData();
  int DestroyData();
  int AppendText(uint32_t count, const void* bytes);
  int ReadText(uint32_t offset, uint32_t count, void* destination) const;
  uint32_t Length() const { return length_; }

 private:
  SegmentPool pool_;
  uint16_t text_segment_ = 0;
  uint32_t length_ = 0;
  std::unique_ptr<uint8_t[]> transfer_;

  friend int LoadText(TextData& text, FileStream& stream);
  friend int SaveText(TextData& text, FileStream& stream);
};

int LoadText(TextData& text, FileStream& stream);
int SaveText(TextData& text, FileStream& stream);

}  // namespace zepcon
