#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>

#include "formats3d/games_helpers.h"

namespace zepcon::test {
namespace {

struct ModRecord {
  std::string name;
  uint16_t first_vertex, end_vertex, first_triangle, end_triangle;
};

struct ModFile {
  std::vector<std::array<float, 8>> vertexs;  // x y z, normal, u v
  std::vector<ModRecord> records;
  std::vector<std::array<uint16_t, 3>> triangles;
};

std::vector<uint8_t> ModBytes(const ModFile& f) {
  Bytes b;
  b.Text("0SERFNIM", 8).data.push_back(1);
  b.Text("", 7).Text("!IGM", 4);
  b.U32(static_cast<uint32_t>(f.vertexs.size())).U32(0).U32(static_cast<uint32_t>(f.records.size())).U32(0);
  b.U32(static_cast<uint32_t>(f.triangles.size())).Text("", 20);
  for (const auto& v : f.vertexs)
    for (float value : v) b.F32(value);
  for (const auto& r : f.records)
    b.Text(r.name, 24).U16(r.first_vertex).U16(r.end_vertex).U16(r.first_triangle).U16(r.end_triangle);
  for (const auto& t : f.triangles) b.U16(t[0]).U16(t[1]).U16(t[2]).U16(0);
  return b.data;
}

// A car of two textured parts: a quad body (two triangles) and a triangle.
ModFile Car() {
  ModFile f;
  f.vertexs = {{0, 0, 0, 0, 0, 1, 0, 0},     {2, 0, 0, 0, 0, 1, 1, 0},     {2, 1, 0, 0, 0, 1, 1, 1},
               {0, 1, 0, 0, 0, 1, 0, 1},     {5, 0, 0, 1, 0, 0, 0.5f, 0}, {5, 1, 0, 1, 0, 0, 0.5f, 1},
               {5, 0, 1, 1, 0, 0, 0.25f, 0.75f}};
  f.records = {{"body.bmp", 0, 4, 0, 2}, {"wheel", 4, 7, 2, 3}};
  f.triangles = {{0, 1, 2}, {0, 2, 3}, {4, 5, 6}};
  return f;
}

// Each texture record becomes an object and a material whose texture is the
// record's base name with tga (an extension in the record is replaced).
TEST(ModLoader, RecordsBecomeObjectsAndTexturedMaterials) {
  TempDir dir;
  WriteBytes(dir.File("body.tga"), TinyTarga(2, 2, 50));
  WriteBytes(dir.File("Wheel.tga"), TinyTarga(3, 1, 90));
  const std::string path = dir.File("car.mod");
  WriteBytes(path, ModBytes(Car()));
  LogCapture log;
  ASSERT_EQ(LoadThroughPipeline(path, TYPE_VIPER_MOD, [](ModelData& m) {
              EXPECT_EQ(m.vertexs_count, 7u);
              ASSERT_EQ(m.polygons_count, 3u);
              EXPECT_EQ(PolygonPoints(m, 1), (std::vector<uint32_t>{0, 2, 3}));
              EXPECT_EQ(VertexAt(m, 6), (std::vector<double>{5, 0, 1}));
              Vec3d normal{};
              m.GetVertexNormal(4, normal);
              EXPECT_EQ(normal.x, 1.0);
              double u = 0, v = 0;
              m.GetVertexTexcoord(6, u, v);
              EXPECT_EQ(u, 0.25);
              EXPECT_EQ(v, 0.75);
              ASSERT_EQ(m.materials_count, 2u);
              ASSERT_EQ(m.textures_count, 2u);
              EXPECT_EQ(m.Texture(0).width, 2u);
              EXPECT_EQ(m.Texture(1).width, 3u);
              EXPECT_EQ(m.Texture(1).kind, 0u);
              EXPECT_EQ(m.GetPolygonMaterial(0), 0);
              EXPECT_EQ(m.GetPolygonMaterial(1), 0);
              EXPECT_EQ(m.GetPolygonMaterial(2), 1);
              ASSERT_EQ(m.objects_count, 2u);
              ObjectRecord object{};
              m.GetObjectInfo(1, &object);
              EXPECT_STREQ(object.name, "1_wheel");
              EXPECT_EQ(object.first_vertex, 4u);
              EXPECT_EQ(object.vertex_count, 3u);
              EXPECT_EQ(object.first_polygon, 2u);
              EXPECT_EQ(object.first_point, 6u);
              EXPECT_EQ(m.vert_normals_present, 1u);
              EXPECT_EQ(m.model_orientation[0], 2);
              EXPECT_EQ(m.model_orientation[1], 4);
              EXPECT_EQ(m.model_orientation[2], 1);
            }),
            1);
  EXPECT_TRUE(log.Contains(" Header - verts: 7, polys 3, texs: 2\n")) << log.Text();
  EXPECT_EQ(log.ErrorText(), "");
}

// Only a file shorter than its header announces fails; a longer one loads
// after its message. Names count by their first 15 characters; ranges past
// the model's ends are cut.
TEST(ModLoader, LengthsNamesAndRangesAreChecked) {
  const std::vector<uint8_t> good = ModBytes(Car());
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  ModFile long_name = Car();
  long_name.records[0].name = "abcdefghijklmnop.tga";
  ModFile beyond = Car();
  beyond.records[1].end_triangle = 9;
  Bytes huge{good};
  huge.PutU32At(20, 0xFFFFFFFF);
  const char* kTooSmall = " file is too small, probably corrupted, quitting\n";
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    int result;
    const char* log;
    const char* error;
  } cases[] = {
      {"whole", good, 1, "[./body.tga]", ""},
      {"one byte short", std::vector<uint8_t>(good.begin(), good.end() - 1), 0, kTooSmall, kTooSmall},
      {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 40), 0, kTooSmall, kTooSmall},
      {"huge vertex count", huge.data, 0, kTooSmall, kTooSmall},
      {"one byte long", longer, 1, " file is too big\n", " file is too big\n"},
      {"long name", ModBytes(long_name), 1, "[./abcdefghijklmno.tga]", ""},
      {"range beyond", ModBytes(beyond), 1, "", "covers more than the model has"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FreshModel fresh;
    std::snprintf(fresh.model.settings.file_folder, sizeof fresh.model.settings.file_folder, "./");
    LogCapture log;
    EXPECT_EQ(LoadFromBytes(fresh.model, LoadMod, c.bytes), c.result);
    EXPECT_TRUE(log.Contains(c.log)) << log.Text();
    const std::string wanted = *c.error ? c.error : "LoadMod";
    EXPECT_EQ(log.ErrorText().find(wanted) != std::string::npos, *c.error != '\0') << log.ErrorText();
    EXPECT_EQ(fresh.model.polygons_count, c.result ? 3u : fresh.model.polygons_count);
  }
}

TEST(ModLoader, EveryCutOfASmallFileLoadsOrFailsWithAReason) {
  ModFile small = Car();
  small.vertexs.resize(3);
  small.records = {{"a", 0, 3, 0, 1}};
  small.triangles.resize(1);
  ExpectEveryCutLoadsOrFailsWithReason(ModBytes(small), LoadMod);
}

// Saved: one record per textured object naming a ".tex" file, its Targa
// beside the model; loading it back gives the same triangles and the same
// texture on each of them.
TEST(ModSaver, TexturedObjectsRoundTrip) {
  TempDir dir;
  std::filesystem::create_directory(dir.Path() / "out");
  ModFile three = Car();
  three.vertexs.push_back({9, 9, 9, 0, 1, 0, 1, 1});
  three.triangles.push_back({6, 5, 7});
  three.records.push_back({"roof_with_a_long_name", 5, 8, 3, 4});
  WriteBytes(dir.File("car.mod"), ModBytes(three));
  WriteBytes(dir.File("body.tga"), TinyTarga(2, 2, 50));
  WriteBytes(dir.File("wheel.tga"), TinyTarga(3, 1, 90));
  WriteBytes(dir.File("roof_with_a_lon.tga"), TinyTarga(1, 1, 30));
  std::vector<Triangle> before, after;
  ASSERT_EQ(Convert(dir.File("car.mod"), TYPE_VIPER_MOD, &before), 1);
  const std::string saved = (dir.Path() / "out" / "car.mod").string();
  ASSERT_EQ(Convert(dir.File("car.mod"), TYPE_VIPER_MOD, nullptr, saved, TYPE_VIPER_MOD), 1);

  const std::vector<uint8_t> bytes = ReadBytes(saved);
  ASSERT_GE(bytes.size(), 60u);
  const uint32_t vertexs = LoadLe32(&bytes[20]), records = LoadLe32(&bytes[28]), triangles = LoadLe32(&bytes[36]);
  EXPECT_EQ(records, 3u);
  EXPECT_EQ(triangles, 4u);
  ASSERT_EQ(bytes.size(), 60 + 32 * vertexs + 32 * records + 8 * triangles);
  std::vector<std::string> names;
  for (uint32_t k = 0; k < records; ++k)
    names.emplace_back(reinterpret_cast<const char*>(&bytes[60 + 32 * vertexs + 32 * k]));
  EXPECT_EQ(names, (std::vector<std::string>{"body.tex", "wheel.tex", "roof_with_a.tex"}));
  for (const char* texture : {"body.tga", "wheel.tga", "roof_with_a_lon.tga"})
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "out" / texture)) << texture;

  ASSERT_EQ(Convert(saved, TYPE_VIPER_MOD, &after), 1);
  std::sort(before.begin(), before.end());
  std::sort(after.begin(), after.end());
  EXPECT_EQ(after, before);
  ASSERT_EQ(LoadThroughPipeline(saved, TYPE_VIPER_MOD, [](ModelData& m) {
              ASSERT_EQ(m.materials_count, 3u);
              EXPECT_EQ(m.GetPolygonMaterial(3), 2);
              EXPECT_EQ(m.Texture(1).width, 3u);  // wheel.tga found beside the saved model
            }),
            1);
}

// A hand-made model converts to OFF that assimp reads the same.
TEST(ModLoader, ConvertsToOffReadByAssimp) {
  TempDir dir;
  WriteBytes(dir.File("car.mod"), ModBytes(Car()));
  const ModelView seen = ExpectOffReadBackByAssimp(dir.File("car.mod"), TYPE_VIPER_MOD);
  EXPECT_EQ(seen, (ModelView{3, 0, 0, 0, 5, 1, 1}));
}

// A model without textures gets no records and a header that says so; a
// model whose indexes would not fit 16 bits is refused before writing.
TEST(ModSaver, UntexturedAndOversizedModels) {
  TempDir dir;
  WriteText(dir.File("plain.off"), "OFF\n4 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n3 0 1 2\n3 0 2 3\n");
  const std::string saved = dir.File("plain.mod");
  ASSERT_EQ(Convert(dir.File("plain.off"), TYPE_OFF, nullptr, saved, TYPE_VIPER_MOD), 1);
  const std::vector<uint8_t> bytes = ReadBytes(saved);
  ASSERT_GE(bytes.size(), 60u);
  EXPECT_EQ(LoadLe32(&bytes[28]), 0u);
  EXPECT_EQ(bytes.size(), 60 + 32 * LoadLe32(&bytes[20]) + 8 * LoadLe32(&bytes[36]));
  std::vector<Triangle> back;
  ASSERT_EQ(Convert(saved, TYPE_VIPER_MOD, &back), 1);
  EXPECT_EQ(back.size(), 2u);

  FreshModel big;
  big.model.relative_writes = 0;
  for (uint32_t t = 0; t < 22000; ++t) {
    const uint32_t first = big.model.StoreVertex(t, 0, 0);
    big.model.StoreVertex(t, 1, 0);
    big.model.StoreVertex(t, 0, 1);
    const uint32_t corners[3] = {first, first + 1, first + 2};
    ASSERT_EQ(big.model.StorePolygon(3, corners), 1);
  }
  LogCapture log;
  std::string written;
  EXPECT_EQ(RunOnFile(big.model, SaveMod, written), 0);
  EXPECT_EQ(written, "");
  EXPECT_TRUE(log.Contains("66000 vertexs and 22000 polygons, the format holds at most 65535")) << log.ErrorText();
}

}  // namespace
}  // namespace zepcon::test
