#include <gtest/gtest.h>

#include "formats3d/games_helpers.h"

namespace zepcon::test {
namespace {

// Vertex lines must count from 0 in order; triangle corners end at their
// commas; an unknown line or a vertex out of sequence ends the reading with
// what was read before kept, and the load still succeeds.
TEST(JawLoader, LinesAreReadUntilOneIsOutOfPlace) {
  const struct {
    const char* text;
    uint32_t vertexs;
    std::vector<std::vector<uint32_t>> polygons;
    const char* error;
  } cases[] = {
      {"Light: (0,0,0)\n0: 0 0 0\n1: 1 0 0\n2: 0 1 0\ntri 0, 2, 1\n", 3, {{0, 2, 1}}, ""},
      {"\r\n  0: 0 0 0\r\n\r\n1: 1 0 0\r\n2: 0 1.5 0\r\ntri 2, 1, 0\r\n", 3, {{2, 1, 0}}, ""},
      {"0: 0 0 0\n1: 1 0 0\n2: 0 1 0\ntri 0,  1, 2\ntri 1 2 0\n", 3, {{0, 1, 2}, {1, 2, 0}}, ""},
      {"1: 0 0 0\n2: 1 0 0\n", 0, {}, "Vertex number should be 0, is 1\n"},
      {"0: 0 0 0\n1: 1 0 0\n1: 2 0 0\n2: 0 1 0\ntri 0, 1, 2\n", 2, {}, "Vertex number should be 2, is 1\n"},
      {"0: 0 0 0\n1: 1 0 0\n2: 0 1 0\ntri 0, 1, 2\nquad 0, 1, 2, 3\ntri 0, 2, 1\n", 3, {{0, 1, 2}},
       "!! Error Loading: Unknown item 'quad 0, 1, 2, 3'\n"},
      {"x: 0 0 0\n", 0, {}, "!! Error Loading: Unknown item 'x: 0 0 0'\n"},
      {"0: 0 0 0\n1: 1 0 0\n2: 0 1 0\ntri 0, 1\ntri a, b, c\n", 3, {}, "2 unreadable lines or numbers"},
      {"", 0, {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    FreshModel fresh;
    LogCapture log;
    EXPECT_EQ(LoadFromText(fresh.model, LoadJaw, c.text), 1);
    EXPECT_EQ(fresh.model.vertexs_count, c.vertexs);
    ASSERT_EQ(fresh.model.polygons_count, c.polygons.size());
    for (uint32_t p = 0; p < c.polygons.size(); ++p) EXPECT_EQ(PolygonPoints(fresh.model, p), c.polygons[p]);
    EXPECT_TRUE(*c.error ? log.ErrorText().find(c.error) != std::string::npos : log.ErrorText().empty())
        << log.ErrorText();
    EXPECT_TRUE(log.Contains("verts " + std::to_string(c.vertexs) + ", polys " + std::to_string(c.polygons.size())));
  }
  FreshModel fresh;
  ASSERT_EQ(LoadFromText(fresh.model, LoadJaw, "0: -1.25 2.5e1 3\n"), 1);
  EXPECT_EQ(VertexAt(fresh.model, 0), (std::vector<double>{-1.25, 25, 3}));
}

// Saved and loaded back: the same positions (to six decimals) and the same
// triangles; quads are written as triangles.
TEST(JawSaver, RoundTripKeepsPositionsAndTriangles) {
  FreshModel source;
  source.model.relative_writes = 0;
  const double positions[][3] = {{0, 0, 0}, {1.5, 0, 0}, {1.5, 2.25, -1}, {0, 2.25, 1e-7}, {-3.1234567, 4, 5}};
  for (const auto& p : positions) source.model.StoreVertex(p[0], p[1], p[2]);
  const uint32_t quad[4] = {0, 1, 2, 3}, triangle[3] = {3, 2, 4};
  ASSERT_EQ(source.model.StorePolygon(4, quad), 1);
  ASSERT_EQ(source.model.StorePolygon(3, triangle), 1);
  std::string text;
  LogCapture log;
  ASSERT_EQ(RunOnFile(source.model, SaveJaw, text), 1);
  EXPECT_EQ(text.rfind("Light: (0,0,0)\n0: 0.000000 0.000000 0.000000\n", 0), 0u) << text;
  EXPECT_NE(text.find("\n4: -3.123457 4.000000 5.000000\ntri "), std::string::npos) << text;
  EXPECT_TRUE(log.Contains("...jaw saved\n"));

  FreshModel back;
  ASSERT_EQ(LoadFromText(back.model, LoadJaw, text), 1);
  ASSERT_EQ(back.model.vertexs_count, 5u);
  for (uint32_t v = 0; v < 5; ++v) {
    const std::vector<double> got = VertexAt(back.model, v);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], positions[v][k], 5e-7) << v;
  }
  const std::vector<Triangle> written = TrianglesOf(source.model), read = TrianglesOf(back.model);
  ASSERT_EQ(read.size(), written.size());
  for (size_t t = 0; t < read.size(); ++t)
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(read[t][k], written[t][k], 5e-7) << t;
  EXPECT_EQ(back.model.polygons_count, 3u);
}

// A hand-made file converts to OFF that assimp reads the same.
TEST(JawLoader, ConvertsToOffReadByAssimp) {
  TempDir dir;
  WriteText(dir.File("box.jaw"), "Light: (0,0,0)\n0: 0 0 0\n1: 2 0 0\n2: 2 3 0\n3: 0 3 -1\ntri 0, 1, 2\ntri 0, 2, 3\n");
  const ModelView seen = ExpectOffReadBackByAssimp(dir.File("box.jaw"), TYPE_JAWED);
  EXPECT_EQ(seen, (ModelView{2, 0, 0, -1, 2, 3, 0}));
}

// A long line is cut, never overruns, and still ends the reading.
TEST(JawLoader, OverlongLinesAreCut) {
  FreshModel fresh;
  LogCapture log;
  const std::string text = "0: 0 0 0\n" + std::string(5000, 'z') + "\n1: 1 1 1\n";
  EXPECT_EQ(LoadFromText(fresh.model, LoadJaw, text), 1);
  EXPECT_EQ(fresh.model.vertexs_count, 1u);
  EXPECT_TRUE(log.Contains("Unknown item 'zzzz"));
}

}  // namespace
}  // namespace zepcon::test
