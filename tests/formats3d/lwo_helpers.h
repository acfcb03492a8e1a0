// Helpers of the LightWave tests: big-endian IFF files built field by
// field, the chunks of a written file listed back, and the material and
// texture names assimp reads in a file.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/byte_reader.h"
#include "formats3d/games_helpers.h"
#include "formats3d/model_codec_helpers.h"

namespace zepcon::test {

constexpr int kLwobType = 12;
constexpr int kLwo2Type = 13;

// Builds big-endian IFF files: Begin/End nest, lengths patched (and odd
// bodies padded) on closing.
class Iff {
 public:
  Iff& Begin(const char* id) {
    open_.push_back(bytes.size());
    Id(id);
    return U32(0);
  }
  Iff& End() {
    const size_t start = open_.back();
    open_.pop_back();
    const size_t length = bytes.size() - start - 8;
    StoreBe32(bytes.data() + start + 4, static_cast<uint32_t>(length));
    if (length % 2) bytes.push_back(0);
    return *this;
  }
  Iff& Id(const char* id) {
    bytes.insert(bytes.end(), id, id + 4);
    return *this;
  }
  Iff& U8(uint32_t v) {
    bytes.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  Iff& U16(uint32_t v) { return U8(v >> 8).U8(v); }
  Iff& I16(int v) { return U16(static_cast<uint16_t>(static_cast<int16_t>(v))); }
  Iff& U32(uint32_t v) { return U16(v >> 16).U16(v & 0xFFFF); }
  Iff& F32(float v) { return U32(BitsOfFloat(v)); }
  // The text with its terminator, padded to an even count.
  Iff& Z(const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
    if (bytes.size() % 2) bytes.push_back(0);  // callers keep bodies even-aligned
    return *this;
  }
  // A surface sub-chunk of 16-bit length.
  Iff& Sub(const char* id, const std::vector<uint8_t>& data) {
    Id(id).U16(static_cast<uint32_t>(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
    return *this;
  }
  std::vector<uint8_t> bytes;

 private:
  std::vector<size_t> open_;
};

struct ChunkView {
  std::string id;
  std::vector<uint8_t> body;
};

// The chunks directly inside the FORM of `file` (after its 4-byte type).
inline std::vector<ChunkView> ChunksOf(const std::string& file) {
  std::vector<ChunkView> chunks;
  const uint8_t* data = reinterpret_cast<const uint8_t*>(file.data());
  if (file.size() < 12) return chunks;
  const size_t end = std::min<size_t>(file.size(), 8 + size_t{LoadBe32(data + 4)});
  size_t at = 12;
  while (at + 8 <= end) {
    const size_t length = LoadBe32(data + at + 4);
    if (at + 8 + length > end) {
      ADD_FAILURE() << "chunk past the FORM at " << at;
      break;
    }
    chunks.push_back({file.substr(at, 4), std::vector<uint8_t>(data + at + 8, data + at + 8 + length)});
    at += 8 + length + (length & 1);
  }
  EXPECT_EQ(at, end) << "the FORM's length does not match its chunks";
  return chunks;
}

inline std::vector<ChunkView> ChunksNamed(const std::vector<ChunkView>& chunks, const std::string& id) {
  std::vector<ChunkView> found;
  for (const ChunkView& c : chunks)
    if (c.id == id) found.push_back(c);
  return found;
}

// Zero-terminated strings of a body, each padded to an even count.
inline std::vector<std::string> PaddedStrings(const std::vector<uint8_t>& body, size_t from = 0) {
  std::vector<std::string> strings;
  size_t at = from;
  while (at < body.size()) {
    const char* start = reinterpret_cast<const char*>(body.data() + at);
    const size_t length = strnlen(start, body.size() - at);
    strings.emplace_back(start, length);
    at += (length + 2) & ~size_t{1};
  }
  return strings;
}

// assimp turns LightWave's left-handed axes into right-handed ones by
// negating z: the extent of our coordinates as it reports them.
inline AssimpReport MirroredZ(AssimpReport report) {
  const double low = report.box[2];
  report.box[2] = -report.box[5];
  report.box[5] = -low;
  return report;
}

// The triangles and extent of a file once loaded and turned to LightWave's
// axes, as a LightWave saver writes them and assimp reports them.
inline AssimpReport LightWaveViewOf(const std::string& path, int type) {
  std::vector<Triangle> triangles;
  FileConverter converter;
  if (converter.InitData(converter.GetDataKind(type)) && converter.LoadFile(path.c_str(), type) &&
      converter.FixData()) {
    ModelData& m = converter.Model();
    m.ConvertModelOrientation(2, 4, 1);
    if (m.TriangulatePolygons()) triangles = TrianglesOf(m);
  }
  converter.DestroyData();
  return MirroredZ(ReportOf(triangles));
}

// The material names and texture files assimp reads in a file.
struct AssimpNames {
  std::vector<std::string> materials;
  std::vector<std::string> textures;
};

inline AssimpNames AssimpNamesOf(const std::string& path) {
  AssimpNames names;
  std::string output, line;
  RunCommand("assimp info '" + path + "' 2>&1", &output);
  std::istringstream lines(output);
  enum { kNone, kMaterials, kTextures } section = kNone;
  while (std::getline(lines, line)) {
    if (line.rfind("Named Materials:", 0) == 0) section = kMaterials;
    else if (line.rfind("Texture Refs:", 0) == 0) section = kTextures;
    else if (line.rfind("Node hierarchy:", 0) == 0) section = kNone;
    const size_t open = line.find('\''), close = line.rfind('\'');
    if (section == kNone || open == std::string::npos || close <= open) continue;
    // Material lines are indented by four blanks; their properties deeper.
    if (section == kMaterials && line.rfind("    '", 0) != 0) continue;
    (section == kMaterials ? names.materials : names.textures).push_back(line.substr(open + 1, close - open - 1));
  }
  return names;
}

}  // namespace zepcon::test
