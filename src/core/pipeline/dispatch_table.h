// Which loader and saver serves each type index, and how each is handed the
// file: as a plain FILE* or as a FileStream.
#pragma once

#include <cstdio>

namespace zepcon {

class BitmapData;
class FileStream;
class ModelData;
class TextData;

// The containers a codec may fill or write; only the one of the row's kind
// is used.
struct CodecTarget {
  ModelData* model = nullptr;
  BitmapData* picture = nullptr;
  TextData* text = nullptr;
};

struct CodecFile {
  FILE* plain = nullptr;
  FileStream* stream = nullptr;
};

enum class CodecIo { kPlain, kStream };

// What a row's loader or saver is. kMissing: the type has no such codec.
// kPending: the codec exists for the type but is not built yet.
enum class CodecState { kReady, kMissing, kPending };

struct CodecEntry {
  CodecState state = CodecState::kMissing;
  CodecIo io = CodecIo::kPlain;
  int (*run)(CodecTarget& target, CodecFile& file) = nullptr;
};

struct DispatchRow {
  CodecEntry load;
  CodecEntry save;
};

// The row of a type index; nullptr outside the table.
const DispatchRow* DispatchRowFor(int type_index);

}  // namespace zepcon
