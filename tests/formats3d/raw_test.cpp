#include <gtest/gtest.h>

#include <cmath>

#include "formats3d/rawoff_helpers.h"

namespace zepcon::test {
namespace {

// Every real Raw file loads all its triangles (past a colour or a texture
// name) and converts faithfully; assimp reads only the plain one.
TEST(RawCorpus, EveryFileLoadsAndConvertsFaithfully) {
  const struct { const char* name; size_t triangles; } expected[] = {
      {"Wuson.raw", 3732}, {"WithColor.raw", 4}, {"WithTexture.raw", 7}};
  ASSERT_EQ(CorpusFiles("models/raw/").size(), std::size(expected));
  for (const auto& e : expected) {
    SCOPED_TRACE(e.name);
    const std::string source = (CorpusDir() / "models/raw" / e.name).string();
    LogCapture log;
    std::vector<Triangle> triangles;
    ASSERT_EQ(Convert(source, kRawType, &triangles), 1);
    EXPECT_EQ(log.ErrorText(), "");
    EXPECT_EQ(triangles.size(), e.triangles);
    ExpectConversionsAgree(source, kRawType, triangles, e.name == std::string("Wuson.raw"));
  }
  if (!HaveProgram("assimp")) GTEST_SKIP() << "assimp is not installed: its reading was not compared";
}

// Which lines are triangles and which are names; a name starts an object
// (several names in a row: the last one), shown cut to twenty characters.
TEST(RawLoader, ClassifiesLinesAndNamesObjects) {
  FreshModel fresh;
  LogCapture log;
  ASSERT_EQ(LoadFromText(fresh.model, LoadRaw,
                         "1 2 3 4 5 6 7 8 9\n"
                         "1 2 3 4 5 6 7 8 9 texture.png\r\n"  // tenth token: still a triangle
                         "a name of exactly thirty chars\r\n"
                         "0.5 0.5 0.5 1 2 3 4 5 6 7 8 9\n"  // twelve numbers: colour + corners
                         "1e5 0 0 0 0 0 0 0 2.5E-1\n"
                         "\r\n   \n"
                         "1 2 3 4 5 6 7 8 9 ab cd\n"        // eleven tokens: a name
                         "1 2 3 4 5 6 7 8 9 10 11 12 13\n"  // thirteen
                         "1x 2 3 4 5 6 7 8 9\n"             // a letter
                         "10 20 30 40 50 6 7 8\r\n"         // eight numbers
                         "-1 -2 -3 .5 .5 .5 -0 0 0\n"),
            1);
  EXPECT_TRUE(log.Contains("5 lines skipped\n"));
  EXPECT_TRUE(log.Contains("Skipping line [a name of exactly th ...]\n"));
  EXPECT_TRUE(log.Contains("Skipping line [1 2 3 4 5 6 7 8 9 ab ...]\n"));
  ASSERT_EQ(fresh.model.CheckModel(), 1);
  std::vector<std::string> names;
  ObjectRecord object;
  for (uint32_t k = 0; k < fresh.model.objects_count; ++k)
    names.push_back(fresh.model.GetObjectInfo(k, &object) ? object.name : "?");
  EXPECT_EQ(names, (std::vector<std::string>{"Converted object 0", "a name of exactly th ...", "10 20 30 40 50 6 7 8"}));
  const Triangle one_to_nine{1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(TrianglesOf(fresh.model), (std::vector<Triangle>{one_to_nine, one_to_nine, one_to_nine,
                                                              {100000, 0, 0, 0, 0, 0, 0, 0, 0.25},
                                                              {-1, -2, -3, .5, .5, .5, 0, 0, 0}}));
}

// Triangles past the vertex limit are dropped whole: none names a vertex
// that was never stored.
TEST(RawLoader, StopsStoringAtTheVertexLimit) {
  std::string text;
  for (int t = 0; t < 40000; ++t) text += "1 2 3 4 5 6 7 8 9\n";
  FreshModel fresh;
  LogCapture log;
  ASSERT_EQ(LoadFromText(fresh.model, LoadRaw, text), 1);
  EXPECT_TRUE(log.Contains("StoreVertex:Vertexs limit reached\n"));
  EXPECT_TRUE(log.Contains("6667 triangles dropped at the vertex limit"));
  EXPECT_EQ(fresh.model.polygons_count, kRawTrianglesReadable);
  for (uint32_t p = 0; p < fresh.model.polygons_count; ++p)
    for (uint32_t v : PolygonPoints(fresh.model, p)) ASSERT_LT(v, fresh.model.vertexs_count);
}

// Each saver on a small model: its text, and the same triangles covering the
// same area when loaded back (polygons are split into triangles first).
TEST(RawOffSavers, WriteTrianglesThatLoadBack) {
  // `expected` is the whole text, or its start.
  const struct { Codec loader; const char* input; Codec saver; std::string expected; double area; } cases[] = {
      {LoadOff, "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", SaveOff,
       "OFF\n3 1 3\n0.000000 0.000000 0.000000\n1.000000 0.000000 0.000000\n0.000000 1.000000 0.000000\n3 0 1 2\n", 0.5},
      {LoadRaw, "first\n0 0 0 1 0 0 0 1 0\nsecond\n-1.5 2 3 4 5 6 7 8 9.25\n", SaveRaw,
       "first\n0.000000 0.000000 0.000000 1.000000 0.000000 0.000000 0.000000 1.000000 0.000000\n"
       "second\n-1.500000 2.000000 3.000000 4.000000 5.000000 6.000000 7.000000 8.000000 9.250000\n", 4.25},
      // A quad and a triangle; the point count is written third.
      {LoadOff, "OFF\n5 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n2 2 0\n4 0 1 2 3\n3 1 4 2\n", SaveOff, "OFF\n5 3 9\n", 1.5},
      {LoadOff, "OFF\n5 1 0\n0 0 0\n2 0 0\n2 2 0\n1 3 0\n0 2 0\n5 0 1 2 3 4\n", SaveRaw, "Converted object 0\n", 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    FreshModel fresh;
    ASSERT_EQ(LoadFromText(fresh.model, c.loader, c.input), 1);
    ASSERT_EQ(fresh.model.CheckModel(), 1);
    LogCapture log;
    std::string text;
    ASSERT_EQ(RunOnFile(fresh.model, c.saver, text), 1);
    EXPECT_EQ(text.substr(0, c.expected.size()), c.expected);
    EXPECT_TRUE(log.Contains(c.saver == SaveOff ? "...oogl saved\n" : "...Raw saved\n"));
    FreshModel again;
    ASSERT_EQ(LoadFromText(again.model, c.saver == SaveOff ? LoadOff : LoadRaw, text), 1);
    const std::vector<Triangle> triangles = TrianglesOf(again.model);
    EXPECT_EQ(triangles, TrianglesOf(fresh.model));
    double area = 0;  // seen from above
    for (const Triangle& t : triangles)
      area += std::abs((t[3] - t[0]) * (t[7] - t[1]) - (t[6] - t[0]) * (t[4] - t[1])) / 2;
    EXPECT_NEAR(area, c.area, 1e-9);
  }
}

}  // namespace
}  // namespace zepcon::test
