#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>

#include "formats3d/games_helpers.h"
#include "formats3d/model_codec_helpers.h"

namespace zepcon::test {
namespace {

// Binary object file bytes in either byte order, built field by field.
struct CobBytes {
  bool big = false;
  std::vector<uint8_t> data;

  CobBytes& Int(uint64_t v, int size) {
    for (int i = 0; i < size; ++i) data.push_back(static_cast<uint8_t>(v >> (8 * (big ? size - 1 - i : i))));
    return *this;
  }
  CobBytes& U16(uint32_t v) { return Int(v, 2); }
  CobBytes& U32(uint32_t v) { return Int(v, 4); }
  CobBytes& F32(float v) { return U32(BitsOfFloat(v)); }
  CobBytes& Raw(const std::string& text) {
    data.insert(data.end(), text.begin(), text.end());
    return *this;
  }
  CobBytes& Str(const std::string& text) { return U16(static_cast<uint32_t>(text.size())).Raw(text); }
};

struct CobFace {
  uint8_t flags;
  int16_t material;
  std::vector<std::array<uint32_t, 2>> corners;  // vertex, texture coordinate
};

struct CobMesh {
  int32_t id;
  int32_t parent;
  std::string name;
  uint16_t duplicate;
  std::array<float, 12> matrix;
  std::vector<std::array<float, 3>> vertexs;
  std::vector<std::array<float, 2>> uvs;
  std::vector<CobFace> faces;
};

struct CobMaterial {
  int32_t parent;
  int16_t number;
  char facet;
  std::array<float, 3> rgb;
  float alpha;
  std::string texture;  // no map when empty
  bool diffuse_factor = false;
};

constexpr std::array<float, 12> kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};

void Chunk(CobBytes& out, const std::string& type, int32_t id, int32_t parent, const std::vector<uint8_t>& body) {
  out.Raw(type).U16(0).U16(8).U32(static_cast<uint32_t>(id)).U32(static_cast<uint32_t>(parent));
  out.U32(static_cast<uint32_t>(body.size()));
  out.data.insert(out.data.end(), body.begin(), body.end());
}

std::vector<uint8_t> MeshBody(bool big, const CobMesh& m) {
  CobBytes b{big, {}};
  b.U16(m.duplicate).Str(m.name);
  for (float axis : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f}) b.F32(axis);
  for (float v : m.matrix) b.F32(v);
  b.U32(static_cast<uint32_t>(m.vertexs.size()));
  for (const auto& v : m.vertexs) b.F32(v[0]).F32(v[1]).F32(v[2]);
  b.U32(static_cast<uint32_t>(m.uvs.size()));
  for (const auto& uv : m.uvs) b.F32(uv[0]).F32(uv[1]);
  b.U32(static_cast<uint32_t>(m.faces.size()));
  for (const CobFace& f : m.faces) {
    b.data.push_back(f.flags);
    b.U16(static_cast<uint32_t>(f.corners.size()));
    if (!(f.flags & 0x08)) b.U16(static_cast<uint16_t>(f.material));
    for (const auto& c : f.corners) b.U32(c[0]).U32(c[1]);
  }
  b.U32(0);  // drawing flags
  return b.data;
}

std::vector<uint8_t> MaterialBody(bool big, const CobMaterial& m) {
  CobBytes b{big, {}};
  b.U16(static_cast<uint16_t>(m.number)).Raw("p").Raw(std::string(1, m.facet));
  if (m.facet == 'a') b.data.push_back(40);
  b.F32(m.rgb[0]).F32(m.rgb[1]).F32(m.rgb[2]).F32(m.alpha).F32(0.5f).F32(0.2f).F32(0.1f).F32(1.0f);
  if (m.diffuse_factor) b.F32(0.6f);
  if (!m.texture.empty()) {
    b.Raw("e:").data.push_back(0);
    b.Str("c:\\maps\\sky.bmp");
    b.Raw("t:").data.push_back(2);
    b.Str(m.texture).F32(0.5f).F32(0.0f).F32(2.0f).F32(1.0f);
  }
  return b.data;
}

std::vector<uint8_t> CobFile(const std::vector<CobMesh>& meshes, const std::vector<CobMaterial>& materials,
                             bool big = false, bool end = true, bool group = true) {
  CobBytes out{big, {}};
  out.Raw(std::string("Caligari V00.01B") + (big ? "HL" : "LH") + std::string(13, ' ') + "\n");
  if (group) Chunk(out, "Grou", 1, 0, MeshBody(big, {1, 0, "group", 0, {2, 0, 0, 5, 0, 2, 0, 5, 0, 0, 2, 5}, {}, {}, {}}));
  for (const CobMesh& m : meshes) Chunk(out, "PolH", m.id, m.parent, MeshBody(big, m));
  for (const CobMaterial& m : materials) Chunk(out, "Mat1", 100 + m.number, m.parent, MaterialBody(big, m));
  Chunk(out, "Unit", 99, 1, {1, 0});
  if (end) Chunk(out, "END ", 98, 0, {});
  return out.data;
}

// A textured quad placed by a translation, and a triangle placed by a
// mirroring matrix (x negated, then moved up 10), both members of a group
// whose own matrix must not move them again; a hole follows the quad.
std::vector<CobMesh> TwoMeshes() {
  CobMesh quad{10, 1, "quad", 0, {1, 0, 0, 3, 0, 1, 0, -1, 0, 0, 1, 0}, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}},
               {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {}};
  quad.faces = {{0, 1, {{{0, 0}}, {{1, 1}}, {{2, 2}}, {{3, 3}}}}, {0x08, 0, {{{0, 0}}, {{1, 1}}, {{2, 2}}}}};
  CobMesh tri{20, 1, "tri", 2, {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 10}, {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}}, {}, {}};
  tri.faces = {{0, 0, {{{0, 0}}, {{1, 0}}, {{2, 0}}}}};
  return {quad, tri};
}

std::vector<CobMaterial> TwoMaterials() {
  return {{10, 1, 'a', {1.0f, 0.5f, 0.0f}, 0.5f, "Textures\\Skin.TGA", true},
          {20, 0, 's', {0.0f, 0.0f, 1.0f}, 1.0f, ""}};
}

std::array<double, 2> PointUv(ModelData& m, uint32_t point) {
  m.relative_reads = 0;
  double u = -9, v = -9;
  m.GetPointTexcoord(point, u, v);
  return {u, v};
}

// Each object is placed by its own matrix (not the group's), mirrored
// faces are turned back, materials belong to the object that owns them
// and the texture map's file is found by its last name part, any case.
TEST(CobLoader, ObjectsArePlacedByTheirOwnMatrixWithTheirMaterials) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    TempDir dir;
    WriteBytes(dir.File("skin.tga"), TinyTarga(2, 2, 90));
    const std::string path = dir.File("two.cob");
    WriteBytes(path, CobFile(TwoMeshes(), TwoMaterials(), big));
    LogCapture log;
    ASSERT_EQ(LoadThroughPipeline(path, TYPE_COB, [](ModelData& m) {
                ASSERT_EQ(m.objects_count, 2u);
                ObjectRecord object{};
                m.GetObjectInfo(0, &object);
                EXPECT_STREQ(object.name, "quad");
                m.GetObjectInfo(1, &object);
                EXPECT_STREQ(object.name, "tri,2");
                EXPECT_EQ(object.first_vertex, 4u);
                ASSERT_EQ(m.vertexs_count, 7u);
                ASSERT_EQ(m.polygons_count, 2u);  // the hole is no face of its own
                EXPECT_EQ(VertexAt(m, 0), (std::vector<double>{3, -1, 0}));
                EXPECT_EQ(VertexAt(m, 2), (std::vector<double>{4, 0, 0}));
                EXPECT_EQ(VertexAt(m, 5), (std::vector<double>{-2, 0, 10}));
                EXPECT_EQ(VertexAt(m, 6), (std::vector<double>{0, 2, 10}));
                EXPECT_EQ(PolygonPoints(m, 0), (std::vector<uint32_t>{0, 1, 2, 3}));
                EXPECT_EQ(PolygonPoints(m, 1), (std::vector<uint32_t>{6, 5, 4}));
                ASSERT_EQ(m.materials_count, 2u);
                ASSERT_EQ(m.GetPolygonMaterial(0), 0);
                ASSERT_EQ(m.GetPolygonMaterial(1), 1);
                m.GetMaterial(0);
                EXPECT_EQ(m.material.diffuse[0], 255);
                EXPECT_EQ(m.material.diffuse[1], 128);
                EXPECT_EQ(m.material.diffuse[2], 0);
                EXPECT_EQ(m.material.transparency, 128);
                ASSERT_EQ(m.material.texture, 0);
                EXPECT_EQ(m.Texture(0).kind, 0u);  // read from the file
                EXPECT_EQ(m.Texture(0).width, 2u);
                m.GetMaterial(1);
                EXPECT_EQ(m.material.diffuse[2], 255);
                EXPECT_EQ(m.material.texture, -1);
                EXPECT_EQ(m.textures_count, 1u);
                // u × 2 + 0.5 from the map's repeats and offset; v turned over.
                EXPECT_EQ(PointUv(m, 1), (std::array<double, 2>{2.5, 1.0}));
                EXPECT_EQ(PointUv(m, 2), (std::array<double, 2>{2.5, 0.0}));
                EXPECT_EQ(m.point_texcoords_present, 1u);
                EXPECT_EQ(m.model_orientation[0], 4);
                EXPECT_EQ(m.model_orientation[1], 3);
                EXPECT_EQ(m.model_orientation[2], 1);
              }),
              1);
    EXPECT_TRUE(log.Contains(" loading texture: [Skin.TGA]\n")) << log.Text();
    EXPECT_TRUE(log.Contains("1 holes are not cut")) << log.Text();
  }
}

// Files the loader cannot take, and broken counts or indexes: each fails
// (or drops what is broken) with its reason in the log.
TEST(CobLoader, BrokenFilesFailOrDropWithTheirReason) {
  const std::vector<uint8_t> good = CobFile(TwoMeshes(), TwoMaterials());
  const size_t polh = 32 + 20 + MeshBody(false, {1, 0, "group", 0, kIdentity, {}, {}, {}}).size();
  const size_t quad_body = polh + 20;
  const size_t counts = quad_body + 2 + 2 + 4 + 96;  // the vertex count
  const auto with = [&](size_t at, uint32_t value) {
    std::vector<uint8_t> bytes = good;
    StoreLe32(bytes.data() + at, value);
    return bytes;
  };
  std::vector<uint8_t> ascii = good;
  ascii[15] = 'A';
  std::vector<uint8_t> order = good;
  order[16] = 'X';
  std::vector<uint8_t> bad_corner = good;
  StoreLe32(bad_corner.data() + counts + 4 + 48 + 4 + 32 + 4 + 5, 7);  // quad's first corner
  std::vector<CobMesh> lone = {TwoMeshes()[1]};
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    int result;
    const char* error;
    uint32_t polygons;
  } cases[] = {
      {"empty", {}, 0, "not a Caligari file", 0},
      {"text file", ascii, 0, "text (ASCII) Truespace files are not read", 0},
      {"byte order", order, 0, "unknown byte order", 0},
      {"no objects", std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(polh)), 0,
       "no polygon object", 0},
      {"chunk past the end", with(polh + 16, 0x7FFFFFF0), 0, "runs past the end of the file", 0},
      {"vertex count", with(counts, 0x40000000), 0, "1073741824 vertexs do not fit", 0},
      {"texture vertex count", with(counts + 4 + 48, 0xFFFFFFFF), 0, "texture vertexs do not fit", 0},
      {"face count", with(counts + 4 + 48 + 4 + 32, 0x20000000), 0, "faces do not fit", 0},
      {"bad corner", bad_corner, 1, "1 faces name vertexs it does not have", 1},
      {"no end chunk", CobFile(lone, {}, false, false), 1, "ends without its END chunk", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FreshModel fresh;
    LogCapture log;
    EXPECT_EQ(LoadFromBytes(fresh.model, LoadCob, c.bytes), c.result);
    EXPECT_NE(log.ErrorText().find(c.error), std::string::npos) << log.ErrorText();
    if (c.result) {
      EXPECT_EQ(fresh.model.polygons_count, c.polygons);
    }
  }
}

TEST(CobLoader, EveryCutOfASmallFileLoadsOrFailsWithAReason) {
  // One textured quad with a hole, its material, and no group: small enough
  // to cut at every byte.
  const std::vector<uint8_t> bytes = CobFile({TwoMeshes()[0]}, {TwoMaterials()[0]}, false, true, false);
  ASSERT_LT(bytes.size(), 500u);
  ExpectEveryCutLoadsOrFailsWithReason(bytes, LoadCob);
}

// The text files of the same program are refused by name, with a reason.
TEST(CobCorpus, TextFilesAreRefused) {
  const std::vector<CorpusEntry> files = CorpusFiles("models/cob/");
  if (files.empty()) GTEST_SKIP() << "no corpus";
  int refused = 0;
  for (const CorpusEntry& entry : files) {
    if (entry.path.find(".cob") == std::string::npos || entry.expected_type == TYPE_COB) continue;
    SCOPED_TRACE(entry.path);
    LogCapture log;
    EXPECT_EQ(Convert((CorpusDir() / entry.path).string(), TYPE_COB, nullptr), 0);
    EXPECT_TRUE(log.Contains("text (ASCII) Truespace files are not read")) << log.Text();
    ++refused;
  }
  EXPECT_EQ(refused, 2);
}

// Every binary file loads; its triangles and extent agree with assimp's
// reading of it, and OBJ and 3DS conversions are read back the same.
//
// assimp places the members of a group by the group's matrix and then by
// their own, and the bytes say that is wrong: each object's matrix already
// puts its origin at its local axis centre (both are given in world terms),
// so the group's matrix is applied twice. dwarf: the group moves by
// (-0.011608, 0, -0.015192) again; molecule: the group scales by 2.707
// again. The exceptions state assimp's extent in terms of ours.
//
// molecule's three small spheres are copies of one mesh, which `assimp
// info` counts once (448 faces, the extent of the large sphere alone); its
// reading is taken from `assimp export` to OBJ instead, all four spheres.
TEST(CobCorpus, EveryBinaryFileAgreesWithAssimp) {
  const std::vector<CorpusEntry> files = CorpusFiles("models/cob/");
  if (files.empty()) GTEST_SKIP() << "no corpus";
  const bool have_assimp = HaveProgram("assimp");
  struct Exception {
    const char* file;
    bool via_export;
    double scale[3];  // assimp's extent = ours x scale + shift
    double shift[3];
  };
  const Exception exceptions[] = {
      {"dwarf.cob", false, {1, 1, 1}, {-0.011608, 0, -0.015192}},
      {"molecule.cob", true, {2.707007, 2.707046, 2.707022}, {0, 0, 0}},
  };
  int checked = 0;
  for (const CorpusEntry& entry : files) {
    if (entry.expected_type != TYPE_COB) continue;
    SCOPED_TRACE(entry.path);
    ++checked;
    const std::string source = (CorpusDir() / entry.path).string();
    std::vector<Triangle> ours;
    ASSERT_EQ(Convert(source, TYPE_COB, &ours), 1);
    ASSERT_GT(ours.size(), 0u);
    if (!have_assimp) continue;
    AssimpReport expected = ReportOf(ours);
    bool via_export = false;
    for (const Exception& e : exceptions) {
      if (entry.path.find(e.file) == std::string::npos) continue;
      via_export = e.via_export;
      for (int k = 0; k < 6; ++k) expected.box[k] = expected.box[k] * e.scale[k % 3] + e.shift[k % 3];
    }
    AssimpReport reference;
    if (via_export) {
      TempDir temp;
      const std::string exported = temp.File("assimp.obj");
      RunCommand("assimp export '" + source + "' '" + exported + "' > /dev/null 2>&1");
      std::vector<Triangle> theirs;
      ASSERT_EQ(Convert(exported, kObjType, &theirs), 1) << "assimp cannot export it";
      reference = ReportOf(theirs);
    } else {
      reference = AssimpReportOf(source);
    }
    ASSERT_TRUE(reference.read) << "assimp cannot read it";
    EXPECT_EQ(reference.faces, expected.faces);
    double scale = 0;
    for (double v : reference.box) scale = std::max(scale, std::fabs(v));
    for (int k = 0; k < 6; ++k)
      EXPECT_TRUE(Close(reference.box[k], expected.box[k], scale))
          << k << ": " << reference.box[k] << " " << expected.box[k];
  }
  EXPECT_EQ(checked, 4);
  ExpectCorpusConverts("models/cob/", TYPE_COB, 4);
  if (!have_assimp) GTEST_SKIP() << "assimp is not installed: its reading was not compared";
}

// The dwarf's two texture maps name pictures beside it; both are read.
TEST(CobCorpus, DwarfTexturesAreRead) {
  const std::filesystem::path path = CorpusDir() / "models/cob/dwarf/dwarf.cob";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "no corpus";
  LogCapture log;
  ASSERT_EQ(LoadThroughPipeline(path.string(), TYPE_COB, [](ModelData& m) {
              ASSERT_EQ(m.textures_count, 2u);
              for (uint32_t t = 0; t < 2; ++t) {
                EXPECT_EQ(m.Texture(t).kind, 0u) << t;
                EXPECT_GT(m.Texture(t).width, 16u) << t;
              }
              EXPECT_EQ(m.materials_count, 2u);
            }),
            1);
  EXPECT_TRUE(log.Contains(" loading texture: [dwarf.jpg]\n")) << log.Text();
  EXPECT_TRUE(log.Contains(" loading texture: [axe.jpg]\n")) << log.Text();
}

}  // namespace
}  // namespace zepcon::test
