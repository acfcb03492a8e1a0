#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "core/byte_reader.h"
#include "formats3d/model_codec_helpers.h"

namespace zepcon::test {
namespace {

// Builds chunk files: Open/Close nest, lengths patched on closing.
class Chunks {
 public:
  Chunks& Open(uint16_t id) {
    open_.push_back(bytes_.size());
    U16(id);
    return U32(0);
  }
  Chunks& Close() {
    StoreLe32(reinterpret_cast<uint8_t*>(&bytes_[open_.back() + 2]), static_cast<uint32_t>(bytes_.size() - open_.back()));
    open_.pop_back();
    return *this;
  }
  Chunks& U16(uint32_t v) {
    bytes_.push_back(static_cast<char>(v));
    bytes_.push_back(static_cast<char>(v >> 8));
    return *this;
  }
  Chunks& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  Chunks& F32(float f) { return U32(BitsOfFloat(f)); }
  Chunks& Z(const char* s) {
    bytes_.append(s, std::strlen(s) + 1);
    return *this;
  }
  std::string& Bytes() { return bytes_; }

 private:
  std::string bytes_;
  std::vector<size_t> open_;
};

// A triangle object "tri" with mapping, in material "mat" when given.
std::string TriangleFile(const char* face_material, bool with_material) {
  Chunks c;
  c.Open(0x4D4D).Open(0x3D3D);
  if (with_material) c.Open(0xAFFF).Open(0xA000).Z("mat").Close().Open(0xA020).Open(0x0011).U16(0x00FF).Bytes().push_back(0);
  if (with_material) c.Close().Close().Close();
  c.Open(0x4000).Z("tri").Open(0x4100);
  c.Open(0x4110).U16(3).F32(0).F32(0).F32(0).F32(1).F32(0).F32(0).F32(0).F32(1).F32(0).Close();
  c.Open(0x4140).U16(3).F32(0).F32(0.25f).F32(1).F32(0.25f).F32(0).F32(1).Close();
  c.Open(0x4120).U16(1).U16(0).U16(1).U16(2).U16(6);
  if (face_material) c.Open(0x4130).Z(face_material).U16(1).U16(0).Close();
  c.Close().Close().Close().Close().Close();
  return c.Bytes();
}

TEST(ThreeDsLoader, TriangleMappingAndFaceMaterials) {
  const struct {
    const char* face_material;
    bool with_material;
  } cases[] = {{"mat", true}, {"nothing", true}, {nullptr, false}};
  for (const auto& c : cases) {
    FreshModel fresh;
    ASSERT_EQ(LoadFromText(fresh.model, Load3ds, TriangleFile(c.face_material, c.with_material)), 1);
    ModelData& m = fresh.model;
    ASSERT_EQ(m.vertexs_count, 3u);
    ASSERT_EQ(m.polygons_count, 1u);
    EXPECT_EQ(m.materials_count, c.with_material ? 1u : 0u);
    // An undefined material name gives material 0.
    if (c.face_material) {
      EXPECT_EQ(m.GetPolygonMaterial(0), 0);
    }
    m.relative_reads = 0;
    double u, v;
    m.GetVertexTexcoord(0, u, v);
    EXPECT_DOUBLE_EQ(v, 0.75);
  }
}

// The ambient light is stored with its colour when its level closes; a
// light object and a camera are read and left aside.
TEST(ThreeDsLoader, AmbientLightIsStored) {
  Chunks c;
  c.Open(0x4D4D).Open(0x3D3D).Open(0x2100).Open(0x0010).F32(1).F32(0.5f).F32(0).Close().Close();
  c.Open(0x4000).Z("lamp").Open(0x4600).F32(1).F32(2).F32(3).Open(0x4610).F32(0).F32(0).F32(0).F32(1).F32(2);
  c.Close().Close().Close();
  c.Open(0x4000).Z("cam").Open(0x4700);
  for (int i = 0; i < 8; ++i) c.F32(1);
  c.Close().Close().Close().Close();
  FreshModel fresh;
  LogCapture log;
  ASSERT_EQ(LoadFromText(fresh.model, Load3ds, c.Bytes()), 1);
  EXPECT_TRUE(log.ErrorText().empty()) << log.ErrorText();
  ASSERT_EQ(fresh.model.lights_count, 1u);
  LightRecord light{};
  ASSERT_EQ(fresh.model.GetLightInfo(0, &light), 1);
  EXPECT_EQ(light.kind, 0u);
  EXPECT_EQ(light.first_colour[0], 255);
  EXPECT_EQ(light.first_colour[1], 127);
  EXPECT_EQ(light.first_colour[2], 0);
}

// Hostile chunk trees: a zero length, a length past the parent, a length
// past the file, a face list whose counts run out. Each is logged, what
// could be read is kept, and the walk ends in time.
TEST(ThreeDsLoader, HostileLengthsAreLoggedAndSurvived) {
  std::string zero = TriangleFile(nullptr, false);
  StoreLe32(reinterpret_cast<uint8_t*>(&zero[6 + 2]), 0);  // 3D3D says 0
  std::string past_parent = TriangleFile(nullptr, false);
  const size_t object = past_parent.find("tri") - 6;
  StoreLe32(reinterpret_cast<uint8_t*>(&past_parent[object + 2]), 0x7FFFFFF0);
  std::string cut = TriangleFile(nullptr, false);
  cut.resize(cut.size() - 5);
  std::string bad_materials = TriangleFile("mat", true);
  bad_materials[bad_materials.size() - 4] = 9;  // face count no longer adds up
  for (const std::string* text : {&zero, &past_parent, &cut, &bad_materials}) {
    FreshModel fresh;
    LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(LoadFromText(fresh.model, Load3ds, *text), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(log.Contains(" Eof too soon !")) << log.Text();
    EXPECT_EQ(fresh.model.CheckModel(), 1);
  }
}

// Saving: names cut to 8 + 2, texture names fitted to 8.3, mapping written
// back as read, objects beyond the 16-bit counts split into parts.
TEST(ThreeDsSaver, NamesTexturesMappingAndSplitting) {
  TempDir temp;
  const std::string source = temp.File("in.3ds");
  WriteText(source, TriangleFile("mat", true));
  {
    FileConverter converter;
    ASSERT_EQ(converter.InitData(converter.GetDataKind(k3dsType)), 1);
    ASSERT_EQ(converter.LoadFile(source.c_str(), k3dsType), 1);
    ModelData& m = converter.Model();
    m.SetObjectName("LongObjectName12");
    ASSERT_GE(m.CreateEmptyTexture("wood_planks_old.png"), 0);
    ASSERT_GE(m.CreateEmptyTexture("wood_planks_new.png"), 0);
    m.GetMaterial(0);
    m.material.texture = 1;
    m.SetMaterial(0);
    ASSERT_EQ(converter.SaveFile(temp.File("out.3ds").c_str(), k3dsType), 1);
    EXPECT_STREQ(m.Texture(0).base_name, "wood_pl");
    EXPECT_EQ(m.Texture(1).base_name[0], 't');
    EXPECT_GT(std::atoi(m.Texture(1).base_name + 1), -1);
    converter.DestroyData();
  }
  const std::string written = ReadText(temp.File("out.3ds"));
  EXPECT_NE(written.find(std::string("LongObje12") + '\0'), std::string::npos);
  FreshModel back;
  ASSERT_EQ(LoadFromText(back.model, Load3ds, written), 1);
  back.model.relative_reads = 0;
  double u, v;
  back.model.GetVertexTexcoord(0, u, v);
  EXPECT_DOUBLE_EQ(v, 0.75);

  // Triangles naming vertices the model does not hold (a hostile loader's
  // leftovers) are left out, never read outside the vertex list.
  for (const uint32_t vertexs : {0u, 2u}) {
    FreshModel dangling;
    for (uint32_t v = 0; v < vertexs; ++v) dangling.model.StoreVertex(v, 0, 0);
    const uint32_t corners[3] = {0, 1, 2};
    dangling.model.StorePolygon(3, corners);
    dangling.model.FinishObjects();
    std::string kept;
    EXPECT_EQ(RunOnFile(dangling.model, Save3ds, kept), 1) << vertexs;
    FreshModel reread;
    EXPECT_EQ(LoadFromText(reread.model, Load3ds, kept), 1) << vertexs;
    EXPECT_EQ(reread.model.polygons_count, 0u) << vertexs;
  }

  // A strip of 70000 triangles over 70002 vertices in one object: more of
  // both than 16 bits count.
  FreshModel big;
  ModelData& m = big.model;
  for (uint32_t v = 0; v < 70002; ++v) m.StoreVertex(v, v % 2, 0);
  for (uint32_t t = 0; t < 70000; ++t) {
    const uint32_t corners[3] = {t, t + 1, t + 2};
    m.StorePolygon(3, corners);
  }
  ASSERT_EQ(m.polygons_count, 70000u);
  m.FinishObjects();
  std::string output;
  ASSERT_EQ(RunOnFile(m, Save3ds, output), 1);
  FreshModel parts;
  LogCapture log;
  ASSERT_EQ(LoadFromText(parts.model, Load3ds, output), 1);
  EXPECT_FALSE(log.Contains("Eof too soon"));
  EXPECT_FALSE(log.Contains("Data size"));
  EXPECT_EQ(parts.model.polygons_count, 70000u);
  EXPECT_GE(parts.model.objects_count, 2u);
  parts.model.relative_reads = 0;
  const std::vector<uint32_t> last = PolygonPoints(parts.model, 69999);
  ASSERT_EQ(last.size(), 3u);
  double x, y, z;
  parts.model.ReadVertex(last[2], x, y, z);
  EXPECT_EQ(x, 70001);
  EXPECT_EQ(y, 1);
}

TEST(ThreeDsCorpus, EveryFileLoadsAndConverts) { ExpectCorpusConverts("models/3ds/", k3dsType, 8); }

// 3DS -> OBJ -> 3DS keeps positions, mapping and materials.
TEST(ThreeDsRoundTrip, ThroughObj) {
  TempDir temp;
  const std::string source = temp.File("in.3ds");
  WriteText(source, TriangleFile("mat", true));
  ASSERT_EQ(Convert(source, k3dsType, nullptr, temp.File("mid.obj"), kObjType), 1);
  ASSERT_EQ(Convert(temp.File("mid.obj"), kObjType, nullptr, temp.File("back.3ds"), k3dsType), 1);
  FreshModel back;
  ASSERT_EQ(LoadFromText(back.model, Load3ds, ReadText(temp.File("back.3ds"))), 1);
  ModelData& m = back.model;
  ASSERT_EQ(m.polygons_count, 1u);
  ASSERT_EQ(m.materials_count, 1u);
  m.GetMaterial(0);
  // The library writes colours as byte / 256: one step is lost on the way.
  EXPECT_NEAR(m.material.diffuse[0], 255, 1);
  const std::vector<uint32_t> points = PolygonPoints(m, 0);
  const double expected[3][4] = {{0, 0, 0, 0.75}, {1, 0, 0, 0.75}, {0, 1, 0, 0.0}};
  for (uint32_t k = 0; k < 3; ++k) {
    double x, y, z, u, v;
    m.ReadVertex(points[k], x, y, z);
    m.GetVertexTexcoord(points[k], u, v);
    EXPECT_NEAR(x, expected[k][0], 1e-6);
    EXPECT_NEAR(y, expected[k][1], 1e-6);
    EXPECT_NEAR(z, expected[k][2], 1e-6);
    EXPECT_NEAR(v, expected[k][3], 1e-6);
  }
}

}  // namespace
}  // namespace zepcon::test
