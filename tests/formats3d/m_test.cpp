#include <gtest/gtest.h>

#include <array>
#include <map>

#include "formats3d/games_helpers.h"

namespace zepcon::test {
namespace {

struct RevoltPolygon {
  uint16_t type;
  std::array<uint16_t, 4> corners;
};

std::vector<uint8_t> RevoltBytes(const std::vector<RevoltPolygon>& polygons,
                                 const std::vector<std::array<float, 6>>& vertexs) {
  Bytes b;
  b.U16(static_cast<uint32_t>(polygons.size())).U16(static_cast<uint32_t>(vertexs.size()));
  for (const RevoltPolygon& p : polygons) {
    b.U16(p.type).U16(3);
    for (uint16_t c : p.corners) b.U16(c);
    for (int k = 0; k < 4; ++k) b.U32(0xFF808080);  // colours
    for (int k = 0; k < 8; ++k) b.F32(0.5f);         // texture coordinates
  }
  for (const auto& v : vertexs)
    for (float value : v) b.F32(value);
  return b.data;
}

const std::vector<std::array<float, 6>> kFourVertexs = {
    {0, 0, 0, 0, -1, 0}, {1, 0, 0, 0, -1, 0}, {1, 0, 1, 0, -1, 0}, {0, 0, 1, 0, -1, 0}};

// Quads (type bit 0) keep four points even with repeated corners; triangles
// keep three, their filler fourth index dropped. Normals are stored but not
// marked present.
TEST(RevoltLoader, QuadsAndTrianglesByTheirTypeBit) {
  const std::vector<uint8_t> bytes =
      RevoltBytes({{1, {0, 1, 2, 3}}, {1 | 1024, {0, 1, 1, 2}}, {0, {2, 1, 0, 0}}, {1026, {3, 2, 1, 0}}}, kFourVertexs);
  FreshModel fresh;
  LogCapture log;
  ASSERT_EQ(LoadFromBytes(fresh.model, LoadM, bytes), 1);
  ModelData& m = fresh.model;
  ASSERT_EQ(m.polygons_count, 4u);
  EXPECT_EQ(PolygonPoints(m, 0), (std::vector<uint32_t>{0, 1, 2, 3}));
  EXPECT_EQ(PolygonPoints(m, 1), (std::vector<uint32_t>{0, 1, 1, 2}));
  EXPECT_EQ(PolygonPoints(m, 2), (std::vector<uint32_t>{2, 1, 0}));
  EXPECT_EQ(PolygonPoints(m, 3), (std::vector<uint32_t>{3, 2, 1}));
  ASSERT_EQ(m.vertexs_count, 4u);
  EXPECT_EQ(VertexAt(m, 2), (std::vector<double>{1, 0, 1}));
  Vec3d normal{};
  m.GetVertexNormal(3, normal);
  EXPECT_EQ(normal.y, -1.0);
  EXPECT_EQ(m.vert_normals_present, 0u);
  EXPECT_TRUE(log.Contains(" polys: 4, verts: 4\n"));
  EXPECT_EQ(log.ErrorText(), "");
}

// A file shorter than its counts announce is refused with the reason, and
// so is every cut of a small file.
TEST(RevoltLoader, ShortFilesAreRefused) {
  const std::vector<uint8_t> bytes = RevoltBytes({{1, {0, 1, 2, 3}}, {0, {0, 2, 1, 0}}}, kFourVertexs);
  for (size_t length = 0; length < bytes.size(); ++length) {
    SCOPED_TRACE(length);
    FreshModel fresh;
    LogCapture log;
    EXPECT_EQ(LoadFromBytes(fresh.model, LoadM, std::vector<uint8_t>(bytes.begin(), bytes.begin() + length)), 0);
    EXPECT_NE(log.ErrorText(), "");
    EXPECT_EQ(fresh.model.polygons_count, 0u);
  }
  Bytes huge;
  huge.U16(0xFFFF).U16(0xFFFF);
  FreshModel fresh;
  LogCapture log;
  EXPECT_EQ(LoadFromBytes(fresh.model, LoadM, huge.data), 0);
  EXPECT_TRUE(log.Contains("the header announces 5504940")) << log.ErrorText();
}

// The real files load with their polygon kinds, and their conversion to OFF
// is read back by assimp with the same triangles and extent.
TEST(RevoltCorpus, EveryFileLoadsAndConvertsToOff) {
  const std::vector<CorpusEntry> files = CorpusFiles("models/m/");
  if (files.empty()) GTEST_SKIP() << "no corpus";
  const std::map<std::string, std::array<uint32_t, 3>> expected = {  // vertexs, triangles, quads
      {"models/m/devil/aerialt.m", {108, 82, 0}},
      {"models/m/devil/body.prm", {178, 260, 0}},
      {"models/m/nym_2.m", {8, 0, 6}},
      {"models/m/rip_aerialt.m", {30, 0, 25}}};
  int checked = 0;
  for (const CorpusEntry& entry : files) {
    if (entry.expected_type != TYPE_REVOLT) continue;
    SCOPED_TRACE(entry.path);
    ++checked;
    const std::string source = (CorpusDir() / entry.path).string();
    ASSERT_EQ(LoadThroughPipeline(source, TYPE_REVOLT, [&](ModelData& m) {
                ASSERT_EQ(expected.count(entry.path), 1u);
                const auto& want = expected.at(entry.path);
                EXPECT_EQ(m.vertexs_count, want[0]);
                uint32_t triangles = 0, quads = 0;
                for (uint32_t p = 0; p < m.polygons_count; ++p) (PolygonPoints(m, p).size() == 3 ? triangles : quads)++;
                EXPECT_EQ(triangles, want[1]);
                EXPECT_EQ(quads, want[2]);
              }),
              1);
    ExpectOffReadBackByAssimp(source, TYPE_REVOLT);
  }
  EXPECT_EQ(checked, 4);
}

}  // namespace
}  // namespace zepcon::test
