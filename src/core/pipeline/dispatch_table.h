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

// What a row's loader or saver is. kReady: built. kMissing: the type has no
// such codec. kPending: the type has one, not built yet. kRefuses: the codec
// only logs that the type cannot be read or written and fails; its row is not
// offered for that direction (can_load or can_save 0), so only a direct call
// reaches it.
enum class CodecState { kReady, kMissing, kPending, kRefuses };

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

// Whether a row's loader or saver can be used: "yes" (built), "no" (the type
// has none, or it only refuses) or "not yet" (not built yet); "no" outside
// the table.
const char* CodecAvailability(int type_index, bool saving);

}  // namespace zepcon
