// Helpers of the OBJ, 3DS and ASC tests: what assimp reports for a file
// (faces, used materials, extent), conversions of real files compared with
// it, and small models built in memory.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "formats3d/rawoff_helpers.h"

namespace zepcon::test {

constexpr int k3dsType = 0;
constexpr int kAscType = 1;
constexpr int kObjType = 31;

struct AssimpReport {
  bool read = false;
  double faces = -1;
  double materials = -1;
  double box[6] = {0, 0, 0, 0, 0, 0};
};

inline AssimpReport AssimpReportOf(const std::string& path) {
  AssimpReport report;
  std::string output, line;
  RunCommand("assimp info '" + path + "' 2>&1", &output);
  std::istringstream lines(output);
  while (std::getline(lines, line)) {
    if (std::sscanf(line.c_str(), "Faces: %lf", &report.faces) == 1) report.read = true;
    std::sscanf(line.c_str(), "Materials: %lf", &report.materials);
    std::sscanf(line.c_str(), "Minimum point (%lf %lf %lf)", &report.box[0], &report.box[1], &report.box[2]);
    std::sscanf(line.c_str(), "Maximum point (%lf %lf %lf)", &report.box[3], &report.box[4], &report.box[5]);
  }
  return report;
}

inline bool Close(double a, double b, double scale) { return std::fabs(a - b) <= 1e-4 * scale + 1e-5; }

// The same extent, or the same extent turned from z up to y up (assimp
// turns 3DS scenes without a keyframer node tree that way).
inline bool SameBox(const AssimpReport& a, const AssimpReport& b) {
  double scale = 0;
  for (double v : a.box) scale = std::max(scale, std::fabs(v));
  bool same = true;
  for (int k = 0; k < 6; ++k) same = same && Close(a.box[k], b.box[k], scale);
  if (same) return true;
  const auto turned = [&](const AssimpReport& from, const AssimpReport& to) {
    // (x, y, z) -> (x, z, -y): min y' = min z, min z' = -max y.
    return Close(to.box[0], from.box[0], scale) && Close(to.box[3], from.box[3], scale) &&
           Close(to.box[1], from.box[2], scale) && Close(to.box[4], from.box[5], scale) &&
           Close(to.box[2], -from.box[4], scale) && Close(to.box[5], -from.box[1], scale);
  };
  return turned(a, b) || turned(b, a);
}

// The extent of triangles as assimp reports it.
inline AssimpReport ReportOf(const std::vector<Triangle>& triangles) {
  AssimpReport report;
  report.read = true;
  report.faces = static_cast<double>(triangles.size());
  for (int k = 0; k < 3; ++k) {
    report.box[k] = 1e300;
    report.box[3 + k] = -1e300;
  }
  for (const Triangle& t : triangles)
    for (int k = 0; k < 9; ++k) {
      report.box[k % 3] = std::min(report.box[k % 3], t[k]);
      report.box[3 + k % 3] = std::max(report.box[3 + k % 3], t[k]);
    }
  return report;
}

// How many textures the file's model holds once loaded.
inline uint32_t TexturesOf(const std::string& path, int type) {
  FileConverter converter;
  if (!converter.InitData(converter.GetDataKind(type)) || !converter.LoadFile(path.c_str(), type)) return 0;
  const uint32_t count = converter.Model().textures_count;
  converter.DestroyData();
  return count;
}

// Loads every file, converts it to OBJ and to 3DS in a temporary folder,
// reads what was written back, and compares assimp's reading of the outputs
// with the reference: assimp's reading of an OBJ source; for 3DS and ASC
// sources our own reading (assimp reads no ASC, and places 3DS meshes by
// the animation track, which this model leaves aside). The textures of the
// source are written beside the output and load.
inline void ExpectCorpusConverts(const std::string& folder, int type, size_t at_least) {
  std::vector<CorpusEntry> files;
  for (const CorpusEntry& entry : CorpusFiles(folder))
    if (entry.expected_type == type) files.push_back(entry);
  if (files.empty()) GTEST_SKIP() << "corpus not present";
  ASSERT_GE(files.size(), at_least);
  const bool assimp = HaveProgram("assimp");
  for (const CorpusEntry& entry : files) {
    SCOPED_TRACE(entry.path);
    const std::string source = (CorpusDir() / entry.path).string();
    std::vector<Triangle> ours;
    ASSERT_EQ(Convert(source, type, &ours), 1);
    // Files whose assimp reading differs by design: points and lines that
    // are no faces, a fourth coordinate assimp divides by.
    const bool assimp_differs = entry.path.find("testmixed") != std::string::npos ||
                                entry.path.find("vertex-w-component") != std::string::npos;
    AssimpReport reference = ReportOf(ours);
    if (assimp && type == kObjType && !assimp_differs) {
      const AssimpReport source_view = AssimpReportOf(source);
      if (source_view.read) reference = source_view;
    }
    const uint32_t textures = TexturesOf(source, type);
    double materials_seen = -1;
    for (const auto& [extension, destination_type] : {std::pair{"obj", kObjType}, std::pair{"3ds", k3dsType}}) {
      TempDir temp;
      const std::string written = temp.File(std::string("out.") + extension);
      ASSERT_EQ(Convert(source, type, nullptr, written, destination_type), 1) << extension;
      std::vector<Triangle> again;
      ASSERT_EQ(Convert(written, destination_type, &again), 1) << extension;
      EXPECT_EQ(again.size(), ours.size()) << extension;
      const char* picture_extension = destination_type == kObjType ? ".tga" : ".bmp";
      const int picture_type = destination_type == kObjType ? 46 : 34;
      uint32_t pictures = 0;
      for (const auto& file : std::filesystem::directory_iterator(temp.Path())) {
        if (file.path().extension() != picture_extension) continue;
        ++pictures;
        EXPECT_EQ(Convert(file.path().string(), picture_type, nullptr), 1) << file.path();
      }
      EXPECT_EQ(pictures, textures) << extension;
      if (!assimp || ours.empty()) continue;
      const AssimpReport view = AssimpReportOf(written);
      ASSERT_TRUE(view.read) << "assimp cannot read what was written: " << written;
      EXPECT_EQ(view.faces, reference.faces) << extension;
      EXPECT_TRUE(SameBox(view, reference)) << extension << " box " << view.box[0] << " " << view.box[1] << " "
                                            << view.box[2] << " / " << view.box[3] << " " << view.box[4] << " "
                                            << view.box[5];
      if (reference.materials >= 0) {
        EXPECT_EQ(view.materials, reference.materials) << extension;
      }
      if (materials_seen >= 0) {
        EXPECT_EQ(view.materials, materials_seen) << extension;
      }
      materials_seen = view.materials;
    }
  }
  if (!assimp) GTEST_SKIP() << "assimp is not installed: its reading was not compared";
}

// Converts `source` to OBJ and to 3DS. The written model is the source
// turned into the destination's axes (the same triangles, its extents along
// the axes a permutation of the source's), and assimp reads each written
// file as we read it back: the same triangles and extent. For sources whose
// axes differ from both destinations', where the extents cannot be
// compared directly.
inline void ExpectObjAnd3dsReadBackByAssimp(const std::string& source, int type) {
  std::vector<Triangle> ours;
  ASSERT_EQ(Convert(source, type, &ours), 1);
  const auto sorted_extents = [](const AssimpReport& report) {
    std::vector<double> extents;
    for (int k = 0; k < 3; ++k) extents.push_back(report.box[3 + k] - report.box[k]);
    std::sort(extents.begin(), extents.end());
    return extents;
  };
  const AssimpReport loaded = ReportOf(ours);
  double scale = 0;
  for (double v : loaded.box) scale = std::max(scale, std::fabs(v));
  const bool assimp = HaveProgram("assimp");
  for (const auto& [name, destination] : {std::pair{"out.obj", kObjType}, std::pair{"out.3ds", k3dsType}}) {
    SCOPED_TRACE(name);
    TempDir temp;
    const std::string written = temp.File(name);
    ASSERT_EQ(Convert(source, type, nullptr, written, destination), 1);
    std::vector<Triangle> again;
    ASSERT_EQ(Convert(written, destination, &again), 1);
    ASSERT_EQ(again.size(), ours.size());
    if (ours.empty()) continue;
    const AssimpReport back = ReportOf(again);
    const std::vector<double> want = sorted_extents(loaded), got = sorted_extents(back);
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(Close(got[k], want[k], scale)) << got[k] << " " << want[k];
    if (!assimp) continue;
    const AssimpReport view = AssimpReportOf(written);
    ASSERT_TRUE(view.read) << "assimp cannot read what was written: " << written;
    EXPECT_EQ(view.faces, back.faces);
    EXPECT_TRUE(SameBox(view, back)) << view.box[0] << " " << view.box[1] << " " << view.box[2] << " / "
                                     << view.box[3] << " " << view.box[4] << " " << view.box[5];
  }
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

}  // namespace zepcon::test
