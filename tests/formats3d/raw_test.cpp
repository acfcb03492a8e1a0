#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats3d/rawoff_helpers.h"

namespace zepcon::test {
namespace {

std::string ObjectName(ModelData& model, uint32_t index) {
  ObjectRecord object;
  if (!model.GetObjectInfo(index, &object)) return "<none>";
  return object.name;
}

TEST(RawCorpus, EveryFileLoads) {
  struct Expected {
    const char* name;
    uint32_t polygons;
    std::vector<std::string> objects;  // after the model check
  };
  const Expected expected[] = {
      {"Wuson.raw", 3732, {"Converted object 0"}},
      {"WithTexture.raw", 7, {"Converted object 0", "Hans_Peter3", "Hans_Peter4"}},
      {"WithColor.raw", 4, {"Hans_Peter", "Hans_Peter2"}},
  };
  ASSERT_EQ(CorpusFiles("models/raw/").size(), std::size(expected));
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.name);
    FileConverter converter;
    ASSERT_EQ(converter.InitData(converter.GetDataKind(kRawType)), 1);
    LogCapture log;
    ASSERT_EQ(converter.LoadFile((CorpusDir() / "models/raw" / e.name).c_str(), kRawType), 1);
    ASSERT_EQ(converter.FixData(), 1);
    ModelData& model = converter.Model();
    EXPECT_EQ(model.polygons_count, e.polygons);
    EXPECT_EQ(model.vertexs_count, 3 * e.polygons);
    EXPECT_TRUE(log.Contains(std::to_string(e.polygons) + " polygons loaded\n"));
    EXPECT_TRUE(log.Contains("...raw loaded\n"));
    ASSERT_EQ(model.objects_count, e.objects.size());
    for (uint32_t k = 0; k < e.objects.size(); ++k) EXPECT_EQ(ObjectName(model, k), e.objects[k]);
    converter.DestroyData();
  }
}

TEST(RawCorpus, ColouredAndTexturedLinesKeepTheirCorners) {
  {
    const std::vector<Triangle> triangles =
        LoadTriangles((CorpusDir() / "models/raw/WithColor.raw").string(), kRawType);
    ASSERT_EQ(triangles.size(), 4u);
    // "0.5 0.5 0.5 0.0 0.0 0.0 0.0 1.0 0.0 1.0 0.0 0.0": a colour, then the corners.
    EXPECT_EQ(triangles[0], (Triangle{0, 0, 0, 0, 1, 0, 1, 0, 0}));
    EXPECT_EQ(triangles[3], (Triangle{0, 3, 3, 0, 4, 3, 1, 3, 3}));
  }
  {
    const std::vector<Triangle> triangles =
        LoadTriangles((CorpusDir() / "models/raw/WithTexture.raw").string(), kRawType);
    ASSERT_EQ(triangles.size(), 7u);
    EXPECT_EQ(triangles[1], (Triangle{0, 0, 3, 0, 1, 3, 1, 0, 3}));
    EXPECT_EQ(triangles[6], (Triangle{0, 3, 3, 0, 4, 3, 1, 3, 3}));
  }
}

TEST(RawCorpus, TrianglesAndBoundsAgreeWithAssimp) {
  if (!HaveProgram("assimp")) GTEST_SKIP() << "assimp is not installed";
  const std::string source = (CorpusDir() / "models/raw/Wuson.raw").string();
  const AssimpView reference = AssimpInfo(source);
  ASSERT_TRUE(reference.loaded);
  const std::vector<Triangle> ours = LoadTriangles(source, kRawType);
  EXPECT_EQ(static_cast<long>(ours.size()), reference.faces);
  ExpectSameBox(BoxOf(ours), reference.box, 1e-6, "loaded model");

  TempDir temp;
  for (const char* name : {"out.raw", "out.off"}) {
    SCOPED_TRACE(name);
    const std::string written = temp.File(name);
    ASSERT_EQ(Convert(source, kRawType, written, std::strstr(name, ".raw") ? kRawType : kOffType), 1);
    const AssimpView view = AssimpInfo(written);
    ASSERT_TRUE(view.loaded);
    EXPECT_EQ(view.faces, reference.faces);
    ExpectSameBox(view.box, reference.box, 1e-6, name);
  }
}

TEST(RawCorpus, RoundTripThroughOffKeepsEveryTriangle) {
  TempDir temp;
  for (const char* name : {"Wuson.raw", "WithTexture.raw"}) {
    SCOPED_TRACE(name);
    const std::string source = (CorpusDir() / "models/raw" / name).string();
    ASSERT_EQ(Convert(source, kRawType, temp.File("mid.off"), kOffType), 1);
    ASSERT_EQ(Convert(temp.File("mid.off"), kOffType, temp.File("back.raw"), kRawType), 1);
    const std::vector<Triangle> before = LoadTriangles(source, kRawType);
    ASSERT_FALSE(before.empty());
    ExpectSameTriangles(before, LoadTriangles(temp.File("back.raw"), kRawType), 1.1e-6, name);
  }
}

// Which lines are triangles and which start objects.
TEST(RawLoader, ClassifiesLines) {
  FreshModel fresh;
  LogCapture log;
  ASSERT_EQ(LoadFromText(fresh.model, LoadRaw,
                         "1 2 3 4 5 6 7 8 9\n"
                         "1 2 3 4 5 6 7 8 9 texture.png\n"           // tenth token: still a triangle
                         "1 2 3 4 5 6 7 8 9 ab cd\n"                // eleventh token: a name
                         "0.5 0.5 0.5 1 2 3 4 5 6 7 8 9\n"           // twelve numbers: colour + corners
                         "1 2 3 4 5 6 7 8 9 10 11 12 13\n"           // thirteen: a name
                         "1e5 0 0 0 0 0 0 0 2.5E-1\n"                // exponents are numbers
                         "1x 2 3 4 5 6 7 8 9\n"                      // a letter: a name
                         "-1 -2 -3 .5 .5 .5 -0 0 0\n"
                         "1 2 3 4 5 6 7 8\n"),                       // eight numbers: a name
            1);
  EXPECT_EQ(fresh.model.polygons_count, 5u);
  EXPECT_TRUE(log.Contains("4 lines skipped\n"));
  EXPECT_TRUE(log.Contains("Skipping line [1 2 3 4 5 6 7 8 9 ab ...]\n"));
  EXPECT_TRUE(log.Contains("Skipping line [1 2 3 4 5 6 7 8]\n"));
  const std::vector<Triangle> triangles = TrianglesOf(fresh.model);
  ASSERT_EQ(triangles.size(), 5u);
  const Triangle one_to_nine{1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(triangles[0], one_to_nine);
  EXPECT_EQ(triangles[1], one_to_nine);
  EXPECT_EQ(triangles[2], one_to_nine);
  EXPECT_EQ(triangles[3], (Triangle{100000, 0, 0, 0, 0, 0, 0, 0, 0.25}));
  EXPECT_EQ(triangles[4], (Triangle{-1, -2, -3, .5, .5, .5, 0, 0, 0}));
}

TEST(RawLoader, NameLinesStartNamedObjects) {
  FreshModel fresh;
  LogCapture log;
  ASSERT_EQ(LoadFromText(fresh.model, LoadRaw,
                         "0 0 0 1 0 0 0 1 0\n"
                         "a name of exactly thirty chars\r\n"
                         "5 5 5 6 5 5 5 6 5\n"
                         "6 6 6 7 6 6 6 7 6\n"
                         "\r\n   \n"
                         "twenty characters ok\r\n"
                         "9 9 9 8 9 9 9 8 9\r\n"),
            1);
  EXPECT_TRUE(log.Contains("Skipping line [a name of exactly th ...]\n"));
  EXPECT_TRUE(log.Contains("Skipping line [twenty characters ok]\n"));
  EXPECT_TRUE(log.Contains("2 lines skipped\n"));
  ASSERT_EQ(fresh.model.CheckModel(), 1);
  ASSERT_EQ(fresh.model.objects_count, 3u);
  EXPECT_EQ(ObjectName(fresh.model, 0), "Converted object 0");
  EXPECT_EQ(ObjectName(fresh.model, 1), "a name of exactly th ...");
  EXPECT_EQ(ObjectName(fresh.model, 2), "twenty characters ok");
  // Each object owns its own triangles and their vertexes.
  ObjectRecord second;
  ASSERT_EQ(fresh.model.GetObjectInfo(1, &second), 1);
  EXPECT_EQ(second.first_polygon, 1u);
  EXPECT_EQ(second.polygon_count, 2u);
  EXPECT_EQ(second.first_vertex, 3u);
  EXPECT_EQ(second.vertex_count, 6u);
  const std::vector<Triangle> triangles = TrianglesOf(fresh.model);
  ASSERT_EQ(triangles.size(), 4u);
  EXPECT_EQ(triangles[2], (Triangle{6, 6, 6, 7, 6, 6, 6, 7, 6}));
  EXPECT_EQ(triangles[3], (Triangle{9, 9, 9, 8, 9, 9, 9, 8, 9}));
}

TEST(RawSaver, WritesObjectNamesAndOneTrianglePerLine) {
  FreshModel fresh;
  ASSERT_EQ(LoadFromText(fresh.model, LoadRaw, "first\n0 0 0 1 0 0 0 1 0\nsecond\n-1.5 2 3 4 5 6 7 8 9.25\n"), 1);
  ASSERT_EQ(fresh.model.CheckModel(), 1);
  LogCapture log;
  int saved = 0;
  EXPECT_EQ(SaveToText(fresh.model, SaveRaw, &saved),
            "first\n0.000000 0.000000 0.000000 1.000000 0.000000 0.000000 0.000000 1.000000 0.000000\n"
            "second\n-1.500000 2.000000 3.000000 4.000000 5.000000 6.000000 7.000000 8.000000 9.250000\n");
  EXPECT_EQ(saved, 1);
  EXPECT_TRUE(log.Contains("Saving Raw...\n") && log.Contains("...Raw saved\n"));
}

TEST(RawSaver, TriangulatesPolygonsFirst) {
  FreshModel fresh;
  ASSERT_EQ(LoadFromText(fresh.model, LoadOff, "OFF\n5 1 0\n0 0 0\n2 0 0\n2 2 0\n1 3 0\n0 2 0\n5 0 1 2 3 4\n"), 1);
  ASSERT_EQ(fresh.model.CheckModel(), 1);
  const std::string text = SaveToText(fresh.model, SaveRaw);
  FreshModel again;
  ASSERT_EQ(LoadFromText(again.model, LoadRaw, text), 1);
  // A pentagon of area 5 becomes three triangles covering the same area.
  ASSERT_EQ(again.model.polygons_count, 3u);
  double area = 0;
  for (const Triangle& t : TrianglesOf(again.model))
    area += std::abs((t[3] - t[0]) * (t[7] - t[1]) - (t[6] - t[0]) * (t[4] - t[1])) / 2;
  EXPECT_NEAR(area, 5.0, 1e-9);
}

TEST(RawLoader, StopsStoringAtTheVertexLimit) {
  std::string text;
  text.reserve(40000 * 20);
  for (int t = 0; t < 40000; ++t) text += "1 2 3 4 5 6 7 8 9\n";
  FreshModel fresh;
  LogCapture log;
  ASSERT_EQ(LoadFromText(fresh.model, LoadRaw, text), 1);
  EXPECT_TRUE(log.Contains("StoreVertex:Vertexs limit reached\n"));
  EXPECT_TRUE(log.Contains("triangles dropped at the vertex limit"));
  EXPECT_EQ(fresh.model.polygons_count, 33333u);
  fresh.model.relative_reads = 0;
  for (uint32_t p = 0; p < fresh.model.polygons_count; ++p)
    for (uint32_t v : PolygonPoints(fresh.model, p)) ASSERT_LT(v, fresh.model.vertexs_count);
}

TEST(RawLoader, TruncatedFilesLoadWhatTheyHold) {
  const std::vector<uint8_t> bytes = ReadBytes(CorpusDir() / "models/raw/WithTexture.raw");
  ASSERT_FALSE(bytes.empty());
  uint32_t previous = 0;
  std::vector<size_t> lengths = CutLengths(bytes);
  lengths.push_back(bytes.size());
  for (const size_t length : lengths) {
    FreshModel fresh;
    LogCapture log;
    ASSERT_EQ(LoadFromText(fresh.model, LoadRaw, std::string(bytes.begin(), bytes.begin() + length)), 1);
    // Triangles only appear as the prefix grows, a cut line being a name.
    EXPECT_LE(fresh.model.polygons_count, 7u);
    EXPECT_GE(fresh.model.polygons_count + 1, previous) << length;
    previous = fresh.model.polygons_count;
    fresh.model.CheckModel();
    EXPECT_EQ(fresh.model.vertexs_count, 3 * fresh.model.polygons_count);
  }
  EXPECT_EQ(previous, 7u);
}

}  // namespace
}  // namespace zepcon::test
