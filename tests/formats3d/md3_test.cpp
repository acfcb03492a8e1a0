#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "formats3d/games_helpers.h"

namespace zepcon::test {
namespace {

struct Md3Surface {
  std::string name;
  std::string shader;  // no shader record when empty and `shaders` is 0
  uint32_t shaders = 1;
  std::vector<std::vector<std::array<int, 3>>> frames;  // [frame][vertex], units of 1/64
  std::vector<std::array<uint32_t, 3>> triangles;
  std::vector<std::array<float, 2>> texcoords;
};

// Surface layout: head, triangles, shader, texture coordinates, frames.
std::vector<uint8_t> SurfaceBytes(const Md3Surface& s) {
  const uint32_t vertexs = static_cast<uint32_t>(s.texcoords.size());
  const uint32_t triangles_at = 108;
  const uint32_t shaders_at = triangles_at + 12 * static_cast<uint32_t>(s.triangles.size());
  const uint32_t texcoords_at = shaders_at + 68 * s.shaders;
  const uint32_t frames_at = texcoords_at + 8 * vertexs;
  const uint32_t end_at = frames_at + 8 * vertexs * static_cast<uint32_t>(s.frames.size());
  Bytes b;
  b.Text("IDP3", 4).Text(s.name, 64).U32(0);
  b.U32(static_cast<uint32_t>(s.frames.size()))
      .U32(s.shaders)
      .U32(vertexs)
      .U32(static_cast<uint32_t>(s.triangles.size()));
  b.U32(triangles_at).U32(shaders_at).U32(texcoords_at).U32(frames_at).U32(end_at);
  for (const auto& t : s.triangles) b.U32(t[0]).U32(t[1]).U32(t[2]);
  for (uint32_t i = 0; i < s.shaders; ++i) b.Text(s.shader, 64).U32(i);
  for (const auto& st : s.texcoords) b.F32(st[0]).F32(st[1]);
  for (const auto& frame : s.frames)
    for (const auto& v : frame) b.I16(v[0]).I16(v[1]).I16(v[2]).U16(0x1234);
  return b.data;
}

std::vector<uint8_t> Md3Bytes(const std::vector<Md3Surface>& surfaces) {
  Bytes b;
  b.Text("IDP3", 4).U32(15).Text("handmade", 64).U32(0);
  b.U32(surfaces.empty() ? 0 : static_cast<uint32_t>(surfaces[0].frames.size())).U32(0);
  b.U32(static_cast<uint32_t>(surfaces.size())).U32(0);
  b.U32(108).U32(108).U32(108).U32(0);  // frames, tags, surfaces, end
  for (const Md3Surface& s : surfaces) b.Raw(SurfaceBytes(s));
  b.PutU32At(104, static_cast<uint32_t>(b.Size()));
  return b.data;
}

// Two surfaces of two frames sharing one texture: a triangle and a quad.
std::vector<Md3Surface> TwoSurfaces(const std::string& first_shader, const std::string& second_shader) {
  Md3Surface body{"body", first_shader, 1,
                  {{{0, 0, 0}, {64, 0, 0}, {0, 128, 0}}, {{0, 0, 32}, {64, 0, 32}, {0, 128, 32}}},
                  {{0, 1, 2}},
                  {{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 0.5f}}};
  Md3Surface arm{"arm", second_shader, 1,
                 {{{-64, -64, 0}, {-32, -64, 0}, {-32, -32, 0}, {-64, -32, 0}},
                  {{-64, -64, -64}, {-32, -64, -64}, {-32, -32, -64}, {-64, -32, -64}}},
                 {{0, 1, 2}, {0, 2, 3}},
                 {{0.25f, 0.25f}, {0.75f, 0.25f}, {0.75f, 0.75f}, {0.25f, 0.75f}}};
  return {body, arm};
}

std::vector<double> FramePosition(ModelData& model, float frame, uint32_t v) {
  model.relative_reads = 0;
  double x = -99, y = -99, z = -99;
  EXPECT_EQ(model.Animation_GetVertexPos(frame, v, x, y, z), 1);
  return {x, y, z};
}

// Two surfaces become two objects of one shared material; frame 0 gives
// the vertexs, both frames the vertex animation; triangles are stored with
// their last two corners swapped.
TEST(Md3Loader, SurfacesBecomeObjectsWithSharedMaterialAndAnimation) {
  TempDir dir;
  WriteBytes(dir.File("skin.tga"), TinyTarga(2, 3, 200));
  const std::string path = dir.File("thing.md3");
  // A path with an extension, and a bare name without one, name the same file.
  WriteBytes(path, Md3Bytes(TwoSurfaces("models/players/thing/skin.tga", "skin")));
  LogCapture log;
  ASSERT_EQ(LoadThroughPipeline(path, TYPE_MD3, [](ModelData& m) {
              EXPECT_EQ(m.vertexs_count, 7u);
              EXPECT_EQ(m.polygons_count, 3u);
              ASSERT_EQ(m.objects_count, 2u);
              ObjectRecord object{};
              m.GetObjectInfo(0, &object);
              EXPECT_STREQ(object.name, "body");
              EXPECT_EQ(object.vertex_count, 3u);
              m.GetObjectInfo(1, &object);
              EXPECT_STREQ(object.name, "arm");
              EXPECT_EQ(object.first_vertex, 3u);
              EXPECT_EQ(object.polygon_count, 2u);
              ASSERT_EQ(m.materials_count, 1u);
              ASSERT_EQ(m.textures_count, 1u);
              EXPECT_EQ(m.Texture(0).kind, 0u);  // loaded from the file, not a placeholder
              EXPECT_EQ(m.Texture(0).width, 2u);
              EXPECT_EQ(m.Texture(0).height, 3u);
              for (uint32_t p = 0; p < 3; ++p) EXPECT_EQ(m.GetPolygonMaterial(p), 0);
              EXPECT_EQ(PolygonPoints(m, 0), (std::vector<uint32_t>{0, 2, 1}));
              EXPECT_EQ(PolygonPoints(m, 1), (std::vector<uint32_t>{3, 5, 4}));
              EXPECT_EQ(PolygonPoints(m, 2), (std::vector<uint32_t>{3, 6, 5}));
              EXPECT_EQ(VertexAt(m, 2), (std::vector<double>{0, 2, 0}));
              EXPECT_EQ(VertexAt(m, 4), (std::vector<double>{-0.5, -1, 0}));
              EXPECT_EQ(m.anim_frames_count, 2u);
              EXPECT_EQ(m.vertex_animation_present, 1u);
              EXPECT_EQ(m.SkeletOwningType, so_vertexs);
              for (uint32_t v = 0; v < 7; ++v) EXPECT_EQ(FramePosition(m, 0, v), VertexAt(m, v)) << v;
              EXPECT_EQ(FramePosition(m, 1, 1), (std::vector<double>{1, 0, 0.5}));
              EXPECT_EQ(FramePosition(m, 1, 6), (std::vector<double>{-1, -0.5, -1}));
              double u = 0, v = 0;
              m.GetVertexTexcoord(5, u, v);
              EXPECT_EQ(u, 0.75);
              EXPECT_EQ(v, 0.75);
              EXPECT_EQ(m.vert_texcoords_present, 1u);
              EXPECT_EQ(m.model_orientation[0], 4);
              EXPECT_EQ(m.model_orientation[1], 0);
              EXPECT_EQ(m.model_orientation[2], 3);
            }),
            1);
  EXPECT_TRUE(log.Contains(" loading texture: [skin.]\n")) << log.Text();
  EXPECT_TRUE(log.Contains("  obj 2. [arm], p:2 v:4 f:2 t:1\n")) << log.Text();
}

// The texture is the shader's base name with tga, else with jpg, found in
// any letter case; a missing one leaves a placeholder; an empty shader
// name or no shader leaves the surface without material.
TEST(Md3Loader, TextureFallsBackFromTgaToJpgToPlaceholder) {
  TempDir dir;
  WriteBytes(dir.File("only.tga"), TinyTarga(4, 4, 10));
  {
    FileConverter converter;  // a JPEG made from the Targa
    ASSERT_EQ(converter.InitData(KIND_BITMAP), 1);
    ASSERT_EQ(converter.LoadFile(dir.File("only.tga").c_str(), TYPE_TGA), 1);
    ASSERT_EQ(converter.SaveFile(dir.File("photo.jpg").c_str(), TYPE_JPG), 1);
    converter.DestroyData();
  }
  WriteBytes(dir.File("UPPER.TGA"), TinyTarga(1, 2, 10));
  const struct {
    const char* shader;
    uint32_t shaders;
    uint32_t textures;
    uint32_t kind;
    uint32_t width;
  } cases[] = {
      {"textures/a/photo.tga", 1, 1, 0, 4},  // no tga: the jpg
      {"photo", 1, 1, 0, 4},
      {"c:\\maps\\upper.tga", 1, 1, 0, 1},  // case differs
      {"textures/missing.tga", 1, 1, 1, 16},
      {"", 1, 0, 0, 0},
      {"ignored", 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shader);
    Md3Surface one = TwoSurfaces("", "")[0];
    one.shader = c.shader;
    one.shaders = c.shaders;
    const std::string path = dir.File("one.md3");
    WriteBytes(path, Md3Bytes({one}));
    FileConverter converter;
    ASSERT_EQ(converter.InitData(KIND_MODEL), 1);
    LogCapture log;
    ASSERT_EQ(converter.LoadFile(path.c_str(), TYPE_MD3), 1);
    ModelData& m = converter.Model();
    ASSERT_EQ(m.textures_count, c.textures);
    if (c.textures == 0) {
      EXPECT_EQ(m.materials_count, 0u);
      EXPECT_EQ(m.GetPolygonMaterial(0), kNoMaterial);
    } else {
      EXPECT_EQ(m.Texture(0).kind, c.kind);
      EXPECT_EQ(m.Texture(0).width, c.width);
      EXPECT_EQ(m.GetPolygonMaterial(0), 0);
      EXPECT_EQ(log.Contains("Creating Empty Texture"), c.kind == 1);
    }
    converter.DestroyData();
  }
}

// Counts and offsets that the file cannot hold fail the load with their
// reason before anything is read by them; triangles naming vertexs the
// surface lacks are dropped.
TEST(Md3Loader, BrokenHeadersAndSurfacesFailWithTheirReason) {
  const std::vector<uint8_t> good = Md3Bytes(TwoSurfaces("a.tga", "b.tga"));
  const size_t second = 108 + SurfaceBytes(TwoSurfaces("a.tga", "b.tga")[0]).size();
  const auto with = [&](size_t at, uint32_t value) {
    Bytes b{good};
    b.PutU32At(at, value);
    return b.data;
  };
  std::vector<uint8_t> bad_ident = good;
  bad_ident[3] = '2';
  std::vector<uint8_t> bad_surface_ident = good;
  bad_surface_ident[second] = 'X';
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    int result;
    const char* error;
    uint32_t polygons;
  } cases[] = {
      {"ident", bad_ident, 0, "Bad ident\n", 0},
      {"empty", {}, 0, "Bad ident\n", 0},
      {"header cut", std::vector<uint8_t>(good.begin(), good.begin() + 100), 0, "header is cut short", 0},
      {"surface count", with(84, 0xFFFFFFFF), 0, "surfaces at 108 do not fit", 0},
      {"first surface", with(100, 0x7FFFFFFF), 0, "do not fit in the file", 0},
      {"surface ident", bad_surface_ident, 0, "surface 2 does not begin with IDP3", 0},
      {"frames x vertexs", with(second + 72, 0xFFFFFFFF), 0, "vertex frames lie beyond", 0},
      {"vertexs", with(second + 80, 0x40000000), 0, "vertex frames lie beyond", 0},
      {"no frames", with(second + 72, 0), 0, "has vertexs but no frames", 0},
      {"triangles", with(second + 84, 0x10000000), 0, "triangles lie beyond", 0},
      {"shader offset", with(second + 92, 0xFFFFFFF0), 0, "shader lies beyond", 0},
      {"texcoords offset", with(second + 96, 0x80000000), 0, "texture coordinates lie beyond", 0},
      {"end offset", with(second + 104, 0), 0, "end lies outside", 0},
      {"bad corner", with(second + 108 + 4, 9), 1, "1 triangles name vertexs it does not have", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FreshModel fresh;
    LogCapture log;
    EXPECT_EQ(LoadFromBytes(fresh.model, LoadMd3, c.bytes), c.result);
    EXPECT_NE(log.ErrorText().find(c.error), std::string::npos) << log.ErrorText();
    EXPECT_EQ(fresh.model.polygons_count, c.result ? c.polygons : fresh.model.polygons_count);
  }
}

TEST(Md3Loader, EveryCutOfASmallFileLoadsOrFailsWithAReason) {
  ExpectEveryCutLoadsOrFailsWithReason(Md3Bytes({TwoSurfaces("a.tga", "b")[0]}), LoadMd3);
}

// Every real file loads; its triangles and frame-0 extent agree with
// assimp's reading (which turns the model to y up: x, z, -y), and the OFF
// written from it is read back by assimp the same.
TEST(Md3Corpus, EveryFileAgreesWithAssimp) {
  const std::vector<CorpusEntry> files = CorpusFiles("models/md3/");
  if (files.empty()) GTEST_SKIP() << "no corpus";
  const bool have_assimp = HaveProgram("assimp");
  int checked = 0;
  for (const CorpusEntry& entry : files) {
    if (entry.expected_type != TYPE_MD3) continue;
    SCOPED_TRACE(entry.path);
    ++checked;
    const std::string source = (CorpusDir() / entry.path).string();
    const ModelView seen = ExpectOffReadBackByAssimp(source, TYPE_MD3);
    if (!have_assimp) continue;
    // A copy alone in its folder: assimp would join a player's three parts.
    TempDir temp;
    const std::string copy = temp.File("alone.md3");
    std::filesystem::copy_file(source, copy);
    const ModelView reference = AssimpInfo(copy);
    ASSERT_GE(reference[0], 0) << "assimp cannot read it";
    const ModelView turned = {seen[0], seen[1], seen[3], -seen[5], seen[4], seen[6], -seen[2]};
    for (int k = 0; k < 7; ++k) EXPECT_NEAR(turned[k], reference[k], 1e-6) << "item " << k;
  }
  EXPECT_GE(checked, 10);
  if (!have_assimp) GTEST_SKIP() << "assimp is not installed: its reading was not compared";
}

}  // namespace
}  // namespace zepcon::test
