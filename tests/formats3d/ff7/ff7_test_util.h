// Builders of FF7 files from their data model, and loading through the
// pipeline (which hands the loaders their settings and companion files).
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/byte_reader.h"
#include "core/conversion_settings.h"
#include "core/format_table.h"
#include "core/pipeline/file_converter.h"
#include "model/model_data.h"
#include "support/test_support.h"

namespace zepcon::ff7_test {

using Bytes = std::vector<uint8_t>;

inline void Put32(Bytes& bytes, uint32_t value) {
  uint8_t raw[4];
  StoreLe32(raw, value);
  bytes.insert(bytes.end(), raw, raw + 4);
}
inline void PutFloat(Bytes& bytes, float value) { Put32(bytes, BitsOfFloat(value)); }
inline void PutZeros(Bytes& bytes, size_t count) { bytes.insert(bytes.end(), count, 0); }

struct PGroup {
  uint32_t first_polygon, polygon_count, first_vertex, vertex_count, first_texcoord, textured, texture;
};

// A P part. Colours are blue, green, red, alpha as in the file; a polygon
// lists the three indexes found at bytes 2-3, 4-5 and 6-7 of its record.
struct PContent {
  std::vector<std::array<float, 3>> vertexs;
  std::vector<std::array<float, 2>> texcoords;
  std::vector<std::array<uint8_t, 4>> vertex_colours;
  std::vector<std::array<uint8_t, 4>> polygon_colours;
  std::vector<std::array<uint16_t, 3>> polygons;
  std::vector<PGroup> groups;
  uint32_t normals = 2;
  uint32_t edges = 3;
};

inline Bytes BuildP(const PContent& p) {
  const uint32_t nv = static_cast<uint32_t>(p.vertexs.size());
  const uint32_t np = static_cast<uint32_t>(p.polygons.size());
  const uint32_t ng = static_cast<uint32_t>(p.groups.size());
  Bytes b;
  // The header as the recognition knows it: 1 at 0, 4, 8 and 60, the
  // vertex count at 12 and 28.
  for (uint32_t value : {1u, 1u, 1u, nv, p.normals, 0u, static_cast<uint32_t>(p.texcoords.size()), nv, p.edges, np,
                         0u, 0u, ng, 0u, 0u, 1u})
    Put32(b, value);
  PutZeros(b, 128 - b.size());
  for (const auto& v : p.vertexs)
    for (float c : v) PutFloat(b, c);
  PutZeros(b, 12u * p.normals);
  for (const auto& t : p.texcoords)
    for (float c : t) PutFloat(b, c);
  for (const auto& c : p.vertex_colours) b.insert(b.end(), c.begin(), c.end());
  for (const auto& c : p.polygon_colours) b.insert(b.end(), c.begin(), c.end());
  PutZeros(b, 4u * p.edges);
  for (const auto& polygon : p.polygons) {
    Bytes record(24, 0);
    for (int k = 0; k < 3; ++k) StoreLe16(record.data() + 2 + 2 * k, polygon[k]);
    b.insert(b.end(), record.begin(), record.end());
  }
  PutZeros(b, 100u * ng);
  for (const PGroup& g : p.groups) {
    Bytes record(56, 0);
    const uint32_t fields[][2] = {{4, g.first_polygon}, {8, g.polygon_count}, {12, g.first_vertex},
                                  {16, g.vertex_count}, {44, g.first_texcoord}, {48, g.textured},
                                  {52, g.texture}};
    for (const auto& field : fields) StoreLe32(record.data() + field[0], field[1]);
    b.insert(b.end(), record.begin(), record.end());
  }
  PutZeros(b, 28 + 4u * nv);
  return b;
}

// One untextured triangle at an offset, in one colour.
inline PContent TriangleP(float offset, std::array<uint8_t, 4> bgra = {10, 20, 30, 255}) {
  PContent p;
  p.vertexs = {{offset, 0, 0}, {offset + 1, 0, 0}, {offset, 1, 0}};
  p.vertex_colours = {bgra, bgra, bgra};
  p.polygon_colours = {bgra};
  p.polygons = {{0, 1, 2}};
  p.groups = {{0, 1, 0, 3, 0, 0, 0}};
  return p;
}

// A field animation: per frame two unused triples, then per bone (x, y, z).
inline Bytes BuildFieldAnimation(uint32_t bones, const std::vector<std::vector<std::array<float, 3>>>& frames) {
  Bytes b;
  for (uint32_t value : {1u, static_cast<uint32_t>(frames.size()), bones, 0u, 0u, 0u, 0u, 0u, 0u}) Put32(b, value);
  for (const auto& frame : frames) {
    PutZeros(b, 24);
    for (const auto& rotation : frame)
      for (float c : rotation) PutFloat(b, c);
  }
  return b;
}

inline OptionsRecord Options(int field_anims = 1, int poly_materials = 0) {
  OptionsRecord options = DefaultOptions();
  options.conversion.ff7_field_anims = field_anims;
  options.conversion.ff7_load_poly_materials = static_cast<uint32_t>(poly_materials);
  return options;
}

// A pipeline with a loaded model; the model stays until the object goes.
class Loaded {
 public:
  Loaded(const std::string& path, int type, const OptionsRecord& options = Options()) {
    EXPECT_EQ(converter_.InitData(KIND_MODEL), 1);
    converter_.SetOptions(&options);
    result = converter_.LoadFile(path.c_str(), type);
  }
  ~Loaded() { converter_.DestroyData(); }
  ModelData& Model() { return converter_.Model(); }
  FileConverter& Converter() { return converter_; }
  int result = 0;

 private:
  FileConverter converter_;
};

inline std::vector<double> VertexOf(ModelData& model, uint32_t index) {
  model.relative_reads = 0;
  double x = -99, y = -99, z = -99;
  model.ReadVertex(index, x, y, z);
  return {x, y, z};
}

inline std::vector<uint32_t> PolygonOf(ModelData& model, uint32_t polygon) {
  model.relative_reads = 0;
  uint32_t count = 0;
  std::vector<uint32_t> points(8);
  model.ReadPolygon(polygon, &count, points.data(), 8);
  points.resize(std::min<uint32_t>(count, 8));
  return points;
}

inline std::array<uint8_t, 3> ColourOfMaterial(ModelData& model, int32_t material) {
  model.GetMaterial(static_cast<uint32_t>(material));
  return {model.material.diffuse[0], model.material.diffuse[1], model.material.diffuse[2]};
}

inline ObjectRecord ObjectOf(ModelData& model, uint32_t index) {
  ObjectRecord record{};
  EXPECT_EQ(model.GetObjectInfo(index, &record), 1);
  return record;
}

// How often `part` occurs in `text`.
inline size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// `assimp info`'s face count of a file, -1 when it cannot read it.
inline long AssimpFaces(const std::string& path) {
  std::string output;
  test::RunCommand("assimp info '" + path + "' 2>&1", &output);
  const size_t at = output.find("Faces:");
  if (at == std::string::npos) return -1;
  return std::strtol(output.c_str() + at + 6, nullptr, 10);
}

}  // namespace zepcon::ff7_test

namespace zepcon::ff7_test {

// An RSD naming its P file and textures, in the layout real ones have.
inline std::string RsdText(const std::string& ply, const std::vector<std::string>& textures) {
  std::string text = "@RSD940102\r\nPLY=" + ply + "\r\nMAT=X.MAT\r\nGRP=X.GRP\r\nNTEX=" +
                     std::to_string(textures.size()) + "\r\n";
  for (size_t i = 0; i < textures.size(); ++i) text += "TEX[" + std::to_string(i) + "]=" + textures[i] + "\r\n";
  return text;
}

inline std::string SegmentName(ModelData& model, int32_t index) {
  model.Animation_GetSegmentInfo(index);
  return model.animation_segment.name;
}

}  // namespace zepcon::ff7_test
