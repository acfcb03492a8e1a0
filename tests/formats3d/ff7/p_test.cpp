#include <gtest/gtest.h>

#include <chrono>

#include "formats3d/ff7/ff7_common.h"
#include "formats3d/ff7/ff7_test_util.h"
#include "formats3d/model_codecs.h"

namespace zepcon::ff7_test {
namespace {

// Two groups of three vertexs: the first plain, the second textured with
// texture number 1, its coordinates starting at the second pair.
PContent TwoGroupP() {
  PContent p;
  p.vertexs = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 0, 0}, {6, 0, 0}, {5, 1, 0}};
  p.texcoords = {{9, 9}, {0.25f, 0.5f}, {0.75f, 0.5f}, {0.5f, 1}};
  p.vertex_colours = {{30, 20, 10, 255}, {30, 20, 10, 255}, {30, 20, 10, 255},
                      {3, 2, 1, 255},    {3, 2, 1, 255},    {3, 2, 1, 255}};
  p.polygon_colours = {{0, 0, 200, 255}, {0, 200, 0, 255}};
  p.polygons = {{0, 1, 2}, {0, 2, 1}};
  p.groups = {{0, 1, 0, 3, 0, 0, 0}, {1, 1, 3, 3, 1, 1, 1}};
  return p;
}

TEST(PLoader, TwoGroupsOneTexturedLoadAsTheFileSays) {
  test::TempDir dir;
  test::WriteBytes(dir.File("part.p"), BuildP(TwoGroupP()));
  test::LogCapture log;
  Loaded loaded(dir.File("part.p"), TYPE_FF7_P);
  ASSERT_EQ(loaded.result, 1) << log.Text();
  EXPECT_FALSE(log.Contains("File is damaged"));
  ModelData& model = loaded.Model();
  ASSERT_EQ(model.vertexs_count, 6u);
  ASSERT_EQ(model.polygons_count, 2u);
  EXPECT_EQ(VertexOf(model, 4), (std::vector<double>{6, 0, 0}));
  // Corners come from bytes 2-3, 6-7, 4-5, plus the group's first vertex.
  EXPECT_EQ(PolygonOf(model, 0), (std::vector<uint32_t>{0, 2, 1}));
  EXPECT_EQ(PolygonOf(model, 1), (std::vector<uint32_t>{3, 4, 5}));
  // Vertex colours are stored blue, green, red.
  model.relative_reads = 0;
  EXPECT_EQ(ColourOfMaterial(model, model.GetVertexMaterial(0)), (std::array<uint8_t, 3>{10, 20, 30}));
  EXPECT_EQ(ColourOfMaterial(model, model.GetVertexMaterial(5)), (std::array<uint8_t, 3>{1, 2, 3}));
  // Two colour materials, then the textured group points at 2 + texture 1;
  // on its own the part gets plain materials up to there.
  EXPECT_EQ(model.GetPolygonMaterial(1), 3);
  EXPECT_EQ(model.materials_count, 4u);
  double u = 0, v = 0;
  model.GetVertexTexcoord(3, u, v);
  EXPECT_EQ(u, 0.25);
  EXPECT_EQ(v, 0.5);
  model.GetVertexTexcoord(5, u, v);
  EXPECT_EQ(u, 0.5);
  EXPECT_EQ(v, 1.0);
  model.GetVertexTexcoord(0, u, v);
  EXPECT_EQ(u, kUnsetValue);
  EXPECT_EQ(model.vert_materials_present, 1u);
  EXPECT_EQ(model.vert_texcoords_present, 1u);
  EXPECT_EQ(model.poly_materials_present, 1u);
}

// Polygon colours count only with the option on and every polygon colour
// opaque; the vertex colours' alpha plays no part.
TEST(PLoader, PolygonColoursAreUsedOnlyWhenAllowedAndOpaque) {
  const struct {
    int option;
    uint8_t polygon_alpha, vertex_alpha;
    bool used;
  } cases[] = {{0, 255, 255, false}, {1, 255, 255, true}, {1, 254, 255, false}, {1, 255, 0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.option << " " << int{c.polygon_alpha} << " " << int{c.vertex_alpha});
    PContent p = TwoGroupP();
    p.polygon_colours[1][3] = c.polygon_alpha;
    p.vertex_colours[0][3] = c.vertex_alpha;
    test::TempDir dir;
    test::WriteBytes(dir.File("part.p"), BuildP(p));
    Loaded loaded(dir.File("part.p"), TYPE_FF7_P, Options(1, c.option));
    ASSERT_EQ(loaded.result, 1);
    ModelData& model = loaded.Model();
    model.relative_reads = 0;
    const int32_t plain = model.GetPolygonMaterial(0);
    if (c.used) {
      ASSERT_GE(plain, 0);
      EXPECT_EQ(ColourOfMaterial(model, plain), (std::array<uint8_t, 3>{200, 0, 0}));
    } else {
      EXPECT_EQ(plain, kNoMaterial);
    }
    // The textured group keeps its texture's material either way.
    EXPECT_EQ(ColourOfMaterial(model, model.GetPolygonMaterial(1)), (std::array<uint8_t, 3>{255, 255, 255}));
  }
}

TEST(PLoader, ALengthOtherThanTheHeaderSaysIsReportedAndStillLoads) {
  for (const int extra : {1, -1}) {
    SCOPED_TRACE(extra);
    Bytes bytes = BuildP(TwoGroupP());
    if (extra > 0) bytes.push_back(0);
    else bytes.pop_back();
    test::TempDir dir;
    test::WriteBytes(dir.File("part.p"), bytes);
    test::LogCapture log;
    Loaded loaded(dir.File("part.p"), TYPE_FF7_P);
    EXPECT_EQ(loaded.result, 1);
    EXPECT_TRUE(log.Contains("  File is damaged\n"));
    EXPECT_EQ(loaded.Model().polygons_count, 2u);
  }
}

// Every prefix of the file loads or fails with a reason; what loads is
// never more than the whole and every polygon names a stored vertex.
TEST(PLoader, EveryTruncatedPrefixLoadsOrFailsWithAReason) {
  const Bytes whole = BuildP(TwoGroupP());
  test::TempDir dir;
  const std::string path = dir.File("cut.p");
  ModelData model;
  for (size_t length = 0; length < whole.size(); ++length) {
    SCOPED_TRACE(length);
    test::WriteBytes(path, Bytes(whole.begin(), whole.begin() + static_cast<long>(length)));
    test::LogCapture log;
    ASSERT_EQ(model.InitData(), 1);
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    const int result = LoadP(model, file);
    std::fclose(file);
    ASSERT_TRUE(result == 1 || result == 0);
    if (result == 0) {
      EXPECT_NE(log.ErrorText(), "");
    } else {
      EXPECT_TRUE(log.Contains("File is damaged"));
    }
    EXPECT_LE(model.vertexs_count, 6u);
    EXPECT_LE(model.polygons_count, 2u);
    for (uint32_t p = 0; p < model.polygons_count; ++p)
      for (uint32_t v : PolygonOf(model, p)) EXPECT_LT(v, model.vertexs_count);
    model.DestroyData();
  }
}

// Counts and indexes that do not fit the part are refused by name, fast,
// and keep what is sound.
TEST(PLoader, HostileCountsAndIndexesAreRefusedWithAReason) {
  struct Case {
    const char* what;
    void (*edit_content)(PContent&);
    void (*edit_bytes)(Bytes&);
    int result;
    uint32_t polygons;
    const char* message;
  };
  const Case cases[] = {
      {"vertex count past the file", nullptr, [](Bytes& b) { StoreLe32(b.data() + 28, 0xFFFFFFFFu); }, 0, 0,
       "the file ends inside the vertexs"},
      {"group count past the file", nullptr, [](Bytes& b) { StoreLe32(b.data() + 48, 0x7FFFFFFFu); }, 0, 0,
       "the file ends inside the groups"},
      {"group with too many polygons", [](PContent& p) { p.groups[0].polygon_count = 0xFFFFFFF0u; }, nullptr, 1, 2,
       "names polygons past"},
      {"groups naming the same polygons over and over",
       [](PContent& p) { p.groups.assign(500, PGroup{0, 2, 0, 3, 0, 0, 0}); }, nullptr, 1, 2,
       "names more polygons than the part has left"},
      {"corner outside the part", [](PContent& p) { p.polygons[0][1] = 40000; }, nullptr, 1, 1,
       "1 polygons name vertexs outside the part"},
      {"group starting past the vertexs", [](PContent& p) { p.groups[1].first_vertex = 0xFFFFFFFFu; }, nullptr, 1, 1,
       "1 polygons name vertexs outside the part"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PContent p = TwoGroupP();
    if (c.edit_content) c.edit_content(p);
    Bytes bytes = BuildP(p);
    if (c.edit_bytes) c.edit_bytes(bytes);
    test::TempDir dir;
    test::WriteBytes(dir.File("bad.p"), bytes);
    test::LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    Loaded loaded(dir.File("bad.p"), TYPE_FF7_P);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(loaded.result, c.result);
    EXPECT_TRUE(log.Contains(c.message)) << log.ErrorText();
    EXPECT_EQ(loaded.Model().polygons_count, c.polygons);
  }
}

// A part read after others lands after them, whatever the object-relative
// switch: its polygons name its own vertexs.
TEST(PLoader, APartAddsToWhatTheModelHolds) {
  test::TempDir dir;
  test::WriteBytes(dir.File("a.p"), BuildP(TriangleP(0)));
  test::WriteBytes(dir.File("b.p"), BuildP(TriangleP(10, {0, 0, 255, 255})));
  ModelData model;
  ASSERT_EQ(model.InitData(), 1);
  for (const char* name : {"a.p", "b.p"}) {
    FILE* file = std::fopen(dir.File(name).c_str(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ff7::LoadPPart(model, file, nullptr), 1);
    std::fclose(file);
  }
  EXPECT_EQ(model.relative_writes, 1u);
  ASSERT_EQ(model.polygons_count, 2u);
  EXPECT_EQ(PolygonOf(model, 1), (std::vector<uint32_t>{3, 5, 4}));
  EXPECT_EQ(VertexOf(model, 3), (std::vector<double>{10, 0, 0}));
  model.relative_reads = 0;
  EXPECT_EQ(ColourOfMaterial(model, model.GetVertexMaterial(4)), (std::array<uint8_t, 3>{255, 0, 0}));
  model.DestroyData();
}

}  // namespace
}  // namespace zepcon::ff7_test
