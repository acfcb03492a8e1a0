// Helpers shared by the Raw 3d and OFF tests: loading from text in memory,
// saving to text, reading a model back as triangles, and asking assimp what
// it sees in a file.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "core/file_converter.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"
#include "support/test_support.h"

namespace zepcon::test {

constexpr int kOffType = 18;
constexpr int kRawType = 23;

// A model that is initialised for the test and destroyed after it.
struct FreshModel {
  FreshModel() { EXPECT_EQ(model.InitData(), 1); }
  ~FreshModel() { model.DestroyData(); }
  ModelData model;
};

using Codec = int (*)(ModelData&, FILE*);

// Runs a loader on bytes held in memory.
inline int LoadFromText(ModelData& model, Codec loader, const std::string& text) {
  // fmemopen of 0 bytes is refused; an empty file is an empty temp file.
  FILE* file = text.empty() ? std::tmpfile() : fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
  if (!file) {
    ADD_FAILURE() << "cannot open the bytes as a file";
    return -1;
  }
  const int result = loader(model, file);
  std::fclose(file);
  return result;
}

// Runs a saver and returns what it wrote.
inline std::string SaveToText(ModelData& model, Codec saver, int* result = nullptr) {
  FILE* file = std::tmpfile();
  if (!file) {
    ADD_FAILURE() << "no temp file";
    return {};
  }
  const int saved = saver(model, file);
  if (result) *result = saved;
  std::string text;
  std::rewind(file);
  for (int c; (c = std::getc(file)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(file);
  return text;
}

using Triangle = std::array<double, 9>;

// Every polygon of the model as the positions of its corners, in point
// order; polygons that are not triangles fail the test.
inline std::vector<Triangle> TrianglesOf(ModelData& model) {
  model.relative_reads = 0;
  std::vector<Triangle> triangles;
  for (uint32_t p = 0; p < model.polygons_count; ++p) {
    uint32_t count = 0;
    uint32_t vertexes[3] = {};
    EXPECT_EQ(model.ReadPolygon(p, &count, vertexes, 3), 1) << "polygon " << p << " has " << count << " points";
    Triangle triangle{};
    for (int k = 0; k < 3; ++k)
      model.ReadVertex(vertexes[k], triangle[3 * k], triangle[3 * k + 1], triangle[3 * k + 2]);
    triangles.push_back(triangle);
  }
  return triangles;
}

inline std::vector<uint32_t> PolygonPoints(ModelData& model, uint32_t polygon) {
  model.relative_reads = 0;
  uint32_t count = 0;
  std::vector<uint32_t> points(200);
  model.ReadPolygon(polygon, &count, points.data(), static_cast<uint32_t>(points.size()));
  points.resize(count < points.size() ? count : points.size());
  return points;
}

inline std::array<double, 3> VertexOf(ModelData& model, uint32_t index) {
  model.relative_reads = 0;
  std::array<double, 3> v{};
  model.ReadVertex(index, v[0], v[1], v[2]);
  return v;
}

// The bounding box of the vertexes that polygons use.
struct Box {
  double min[3] = {1e300, 1e300, 1e300};
  double max[3] = {-1e300, -1e300, -1e300};
};

inline Box BoxOf(const std::vector<Triangle>& triangles) {
  Box box;
  for (const Triangle& t : triangles)
    for (int k = 0; k < 9; ++k) {
      box.min[k % 3] = std::min(box.min[k % 3], t[k]);
      box.max[k % 3] = std::max(box.max[k % 3], t[k]);
    }
  return box;
}

// What `assimp info` reports for a file.
struct AssimpView {
  bool loaded = false;
  long faces = -1;
  Box box;
};

inline AssimpView AssimpInfo(const std::string& path) {
  AssimpView view;
  std::string output;
  RunCommand("assimp info '" + path + "' 2>&1", &output);
  std::istringstream lines(output);
  std::string line;
  bool have_min = false, have_max = false;
  while (std::getline(lines, line)) {
    if (line.rfind("Faces:", 0) == 0) view.faces = std::atol(line.c_str() + 6);
    const size_t paren = line.find('(');
    if (paren == std::string::npos) continue;
    double* target = nullptr;
    if (line.rfind("Minimum point", 0) == 0) {
      target = view.box.min;
      have_min = true;
    } else if (line.rfind("Maximum point", 0) == 0) {
      target = view.box.max;
      have_max = true;
    }
    if (target) std::sscanf(line.c_str() + paren + 1, "%lf %lf %lf", &target[0], &target[1], &target[2]);
  }
  view.loaded = view.faces >= 0 && have_min && have_max;
  return view;
}

inline void ExpectSameBox(const Box& a, const Box& b, double tolerance, const std::string& what) {
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(a.min[k], b.min[k], tolerance) << what << " min " << k;
    EXPECT_NEAR(a.max[k], b.max[k], tolerance) << what << " max " << k;
  }
}

inline void ExpectSameTriangles(const std::vector<Triangle>& a, const std::vector<Triangle>& b, double tolerance,
                                const std::string& what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  int reported = 0;
  for (size_t t = 0; t < a.size() && reported < 5; ++t)
    for (int k = 0; k < 9; ++k)
      if (std::abs(a[t][k] - b[t][k]) > tolerance) {
        ADD_FAILURE() << what << ": triangle " << t << " coordinate " << k << ": " << a[t][k] << " vs " << b[t][k];
        ++reported;
        break;
      }
}

// Lengths at which to cut a file: around every line end (before it, on it,
// after it) and every seventh byte between, so that cuts fall inside
// numbers, between tokens and between lines.
inline std::vector<size_t> CutLengths(const std::vector<uint8_t>& bytes) {
  std::vector<size_t> lengths;
  for (size_t length = 0; length < bytes.size(); ++length) {
    const bool near_line_end = (bytes[length] == '\n' || bytes[length] == '\r') ||
                               (length > 0 && bytes[length - 1] == '\n') ||
                               (length + 1 < bytes.size() && bytes[length + 1] == '\n');
    if (near_line_end || length % 7 == 0) lengths.push_back(length);
  }
  return lengths;
}

// One pass of the pipeline: load, fix, save.
inline int Convert(const std::string& source, int source_type, const std::string& destination,
                   int destination_type) {
  FileConverter converter;
  if (!converter.InitData(converter.GetDataKind(source_type))) return 0;
  int result = converter.LoadFile(source.c_str(), source_type) && converter.FixData() &&
               converter.SaveFile(destination.c_str(), destination_type);
  converter.DestroyData();
  return result;
}

// Loads a file through the pipeline (load and fix) into a model of its own
// and reads it back as triangles.
inline std::vector<Triangle> LoadTriangles(const std::string& path, int type, int* loaded = nullptr) {
  FileConverter converter;
  std::vector<Triangle> triangles;
  converter.InitData(converter.GetDataKind(type));
  const int result = converter.LoadFile(path.c_str(), type) && converter.FixData();
  if (loaded) *loaded = result;
  if (result) {
    converter.Model().TriangulatePolygons();
    triangles = TrianglesOf(converter.Model());
  }
  converter.DestroyData();
  return triangles;
}

}  // namespace zepcon::test
