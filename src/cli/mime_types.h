// The desktop's file types (shared-mime-info) for the rows of the format
// table: a type per row, named after the row's extension, with the row's
// header test as magic where it is a fixed byte pattern.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zepcon {

// Bytes expected at an offset; `range` > 0 lets them start anywhere from
// offset to offset + range.
struct MimeMatch {
  uint32_t offset;
  std::string_view bytes;
  uint32_t range = 0;
};

// One way a header can look: all of its matches at once.
using MimeSignature = std::vector<MimeMatch>;

struct MimeRow {
  int type;                  // row of the format table
  const char* mime;          // type name
  bool registered;           // already in the shared database: add only what it lacks
  bool registered_has_glob;  // the shared database already globs the extension
  const char* text_parent;   // for text formats: the type they refine, else nullptr
  // Header patterns; each is a necessary part of the row's header test.
  // `magic_is_whole`: a file holding one is recognised as the row whatever
  // its size (false where the test also compares sizes stored in the file).
  std::vector<MimeSignature> magic;
  bool magic_is_whole = true;
};

// One entry per format table row, in row order.
const std::vector<MimeRow>& MimeRows();

// The shared-mime-info package that adds these types to the desktop.
std::string MimeInfoXml();

// The desktop entry's "MimeType=" value: the types of the rows that can be
// loaded, in row order, each once. Plain text is left out: the program is
// no text editor to offer for every text file.
std::string DesktopMimeTypes();

}  // namespace zepcon
