// Helpers shared by the Raw 3d and OFF tests: codecs run on text in memory,
// models read back as triangles, and the conversions of real files checked
// against assimp's reading of them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "core/pipeline/file_converter.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"
#include "support/test_support.h"

namespace zepcon::test {

constexpr int kOffType = 18;
constexpr int kRawType = 23;

struct FreshModel {
  FreshModel() { EXPECT_EQ(model.InitData(), 1); }
  ~FreshModel() { model.DestroyData(); }
  ModelData model;
};

using Codec = int (*)(ModelData&, FILE*);

// Runs a codec on a temporary file that holds `text`, then puts in `text`
// what the file holds (for a saver: what it wrote).
inline int RunOnFile(ModelData& model, Codec codec, std::string& text) {
  FILE* file = std::tmpfile();
  if (!file || std::fwrite(text.data(), 1, text.size(), file) != text.size()) return -1;
  std::rewind(file);
  const int result = codec(model, file);
  std::rewind(file);
  text.clear();
  for (int c; (c = std::getc(file)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(file);
  return result;
}

inline int LoadFromText(ModelData& model, Codec loader, std::string text) { return RunOnFile(model, loader, text); }

inline std::vector<uint32_t> PolygonPoints(ModelData& model, uint32_t polygon) {
  model.relative_reads = 0;
  uint32_t count = 0;
  std::vector<uint32_t> points(200);
  model.ReadPolygon(polygon, &count, points.data(), static_cast<uint32_t>(points.size()));
  points.resize(std::min<size_t>(count, points.size()));
  return points;
}

using Triangle = std::array<double, 9>;

// Every polygon as the positions of its corners in point order; a polygon
// that is not a triangle fails the test.
inline std::vector<Triangle> TrianglesOf(ModelData& model) {
  std::vector<Triangle> triangles;
  for (uint32_t p = 0; p < model.polygons_count; ++p) {
    const std::vector<uint32_t> points = PolygonPoints(model, p);
    EXPECT_EQ(points.size(), 3u) << "polygon " << p;
    Triangle& t = triangles.emplace_back();
    for (size_t k = 0; k < 3 && k < points.size(); ++k)
      model.ReadVertex(points[k], t[3 * k], t[3 * k + 1], t[3 * k + 2]);
  }
  return triangles;
}

// Runs the pipeline on a file: load and fix, then save when given a
// destination. Returns the result, and the model's polygons as triangles
// when asked (splitting them may log complaints of its own).
inline int Convert(const std::string& source, int type, std::vector<Triangle>* triangles,
                   const std::string& destination = "", int destination_type = 0) {
  FileConverter converter;
  if (!converter.InitData(converter.GetDataKind(type))) return 0;
  int result = converter.LoadFile(source.c_str(), type) && converter.FixData();
  if (result && !destination.empty()) result = converter.SaveFile(destination.c_str(), destination_type);
  if (result && triangles && converter.Model().TriangulatePolygons()) *triangles = TrianglesOf(converter.Model());
  converter.DestroyData();
  return result;
}

// Triangle count, then extent (min x y z, max x y z) of a model.
using ModelView = std::array<double, 7>;
constexpr ModelView kNoView{-1, 1e300, 1e300, 1e300, -1e300, -1e300, -1e300};

// What `assimp info` reports for a file.
inline ModelView AssimpInfo(const std::string& path) {
  ModelView view = kNoView;
  std::string output, line;
  RunCommand("assimp info '" + path + "' 2>&1", &output);
  std::istringstream lines(output);
  while (std::getline(lines, line)) {
    std::sscanf(line.c_str(), "Faces: %lf", &view[0]);
    std::sscanf(line.c_str(), "Minimum point (%lf %lf %lf)", &view[1], &view[2], &view[3]);
    std::sscanf(line.c_str(), "Maximum point (%lf %lf %lf)", &view[4], &view[5], &view[6]);
  }
  return view;
}

// A Raw file repeats the corners of every triangle: the model's vertex limit
// lets at most this many of its triangles be read back.
constexpr size_t kRawTrianglesReadable = 33333;

// `ours` is what we read from a real file. Converting it to the other
// format and back keeps every triangle's corners; assimp reads the same
// triangle count and extent in the source as we do, and in what we wrote.
inline void ExpectConversionsAgree(const std::string& source, int type, const std::vector<Triangle>& ours,
                                   bool assimp_reads_source = true) {
  TempDir temp;
  const int other = type == kOffType ? kRawType : kOffType;
  const std::string middle = temp.File(other == kOffType ? "middle.off" : "middle.raw");
  const std::string back = temp.File(type == kOffType ? "back.off" : "back.raw");
  ASSERT_EQ(Convert(source, type, nullptr, middle, other), 1);
  if (other == kRawType && ours.size() > kRawTrianglesReadable) {
    ASSERT_EQ(Convert(source, type, nullptr, back, type), 1);  // no way back: written directly
  } else {
    std::vector<Triangle> again;
    ASSERT_EQ(Convert(middle, other, nullptr, back, type), 1);
    ASSERT_EQ(Convert(back, type, &again), 1);
    ASSERT_EQ(again.size(), ours.size());
    for (size_t t = 0; t < ours.size(); ++t)
      for (int k = 0; k < 9; ++k) ASSERT_NEAR(again[t][k], ours[t][k], 1.1e-6) << "triangle " << t;
  }
  if (!assimp_reads_source || !HaveProgram("assimp")) return;
  const ModelView reference = AssimpInfo(source);
  ASSERT_GE(reference[0], 0) << "assimp cannot read " << source;
  ModelView seen = kNoView;
  seen[0] = static_cast<double>(ours.size());
  for (const Triangle& t : ours)
    for (int k = 0; k < 9; ++k) {
      seen[1 + k % 3] = std::min(seen[1 + k % 3], t[k]);
      seen[4 + k % 3] = std::max(seen[4 + k % 3], t[k]);
    }
  // Counts must match exactly; the written files hold six decimals.
  for (int k = 0; k < 7; ++k) EXPECT_NEAR(seen[k], reference[k], 1e-5) << "loaded model, item " << k;
  for (const std::string& written : {middle, back}) {
    const ModelView view = AssimpInfo(written);
    for (int k = 0; k < 7; ++k) EXPECT_NEAR(view[k], reference[k], 1.5e-6) << written << ", item " << k;
  }
}

}  // namespace zepcon::test
