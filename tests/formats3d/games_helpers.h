// Helpers shared by the tests of the game model formats (Quake 3, Viper
// Racing, Jawed K, Re-Volt, Helion): hand-made binary files, loading through
// the pipeline, and cut files.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/byte_reader.h"
#include "core/format_table.h"
#include "formats3d/rawoff_helpers.h"

namespace zepcon::test {

// Little-endian file bytes built field by field.
struct Bytes {
  std::vector<uint8_t> data;

  Bytes& U16(uint32_t v) {
    data.push_back(static_cast<uint8_t>(v));
    data.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
  }
  Bytes& I16(int v) { return U16(static_cast<uint16_t>(static_cast<int16_t>(v))); }
  Bytes& U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  Bytes& F32(float v) { return U32(BitsOfFloat(v)); }
  // `text` in a zero-padded field of `size` bytes.
  Bytes& Text(const std::string& text, size_t size) {
    std::vector<uint8_t> field(size, 0);
    std::memcpy(field.data(), text.data(), std::min(text.size(), size));
    data.insert(data.end(), field.begin(), field.end());
    return *this;
  }
  Bytes& Raw(const std::vector<uint8_t>& more) {
    data.insert(data.end(), more.begin(), more.end());
    return *this;
  }
  void PutU32At(size_t at, uint32_t v) { StoreLe32(data.data() + at, v); }
  size_t Size() const { return data.size(); }
};

inline int LoadFromBytes(ModelData& model, Codec loader, const std::vector<uint8_t>& bytes) {
  return LoadFromText(model, loader, std::string(bytes.begin(), bytes.end()));
}

// A small uncompressed 32-bit Targa picture of one colour.
inline std::vector<uint8_t> TinyTarga(uint8_t width, uint8_t height, uint8_t red) {
  std::vector<uint8_t> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, width, 0, height, 0, 32, 8};
  for (int i = 0; i < width * height; ++i) tga.insert(tga.end(), {0, 0, red, 255});
  return tga;
}

// Loads a file through the pipeline (load and fix) and hands the model to
// `inspect` before it is destroyed. The load's result.
template <typename Inspect>
int LoadThroughPipeline(const std::string& path, int type, Inspect inspect) {
  FileConverter converter;
  if (!converter.InitData(KIND_MODEL)) return 0;
  const int result = converter.LoadFile(path.c_str(), type) && converter.FixData();
  if (result) inspect(converter.Model());
  converter.DestroyData();
  return result;
}

// Every prefix of `bytes` either loads or fails with a logged reason, and
// what loads passes the model check.
inline void ExpectEveryCutLoadsOrFailsWithReason(const std::vector<uint8_t>& bytes, Codec loader) {
  for (size_t length = 0; length < bytes.size(); ++length) {
    SCOPED_TRACE("cut at " + std::to_string(length));
    FreshModel cut;
    LogCapture log;
    const int result = LoadFromBytes(cut.model, loader, std::vector<uint8_t>(bytes.begin(), bytes.begin() + length));
    ASSERT_TRUE(result == 1 || result == 0);
    if (result == 0) {
      EXPECT_NE(log.ErrorText(), "") << "failed without a reason";
      continue;
    }
    EXPECT_EQ(cut.model.CheckModel(), 1);
    for (uint32_t p = 0; p < cut.model.polygons_count; ++p)
      for (uint32_t v : PolygonPoints(cut.model, p)) ASSERT_LT(v, cut.model.vertexs_count);
  }
}

// The position of vertex `v` (absolute index).
inline std::vector<double> VertexAt(ModelData& model, uint32_t v) {
  model.relative_reads = 0;
  double x = -99, y = -99, z = -99;
  EXPECT_EQ(model.ReadVertex(v, x, y, z), 1) << v;
  return {x, y, z};
}

// Triangle count and extent of triangles, as AssimpInfo reports them.
inline ModelView ViewOf(const std::vector<Triangle>& triangles) {
  ModelView view = kNoView;
  view[0] = static_cast<double>(triangles.size());
  for (const Triangle& t : triangles)
    for (int k = 0; k < 9; ++k) {
      view[1 + k % 3] = std::min(view[1 + k % 3], t[k]);
      view[4 + k % 3] = std::max(view[4 + k % 3], t[k]);
    }
  return view;
}

// Converts `source` to OFF; assimp reads back the same triangle count and
// extent as we loaded (when it is installed), and the same triangles from
// OBJ and 3DS conversions. What we loaded, as a view.
inline ModelView ExpectOffReadBackByAssimp(const std::string& source, int type) {
  TempDir temp;
  const std::string off = temp.File("out.off");
  std::vector<Triangle> ours;
  EXPECT_EQ(Convert(source, type, &ours, off, TYPE_OFF), 1);
  EXPECT_GT(ours.size(), 0u);
  const ModelView seen = ViewOf(ours);
  if (!HaveProgram("assimp")) return seen;
  const ModelView written = AssimpInfo(off);
  for (int k = 0; k < 7; ++k) EXPECT_NEAR(written[k], seen[k], 1.5e-6) << "OFF item " << k;
  // The interchange formats users convert game models to: assimp reads the
  // same triangles from our OBJ and 3DS files.
  for (const auto& [name, destination] : {std::pair{"out.obj", TYPE_OBJ}, std::pair{"out.3ds", TYPE_3DS}}) {
    const std::string path = temp.File(name);
    EXPECT_EQ(Convert(source, type, nullptr, path, destination), 1) << name;
    EXPECT_EQ(AssimpInfo(path)[0], seen[0]) << name;
  }
  return seen;
}

}  // namespace zepcon::test
