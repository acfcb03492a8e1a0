#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "formats3d/games_helpers.h"
#include "formats3d/model_codec_helpers.h"

namespace zepcon::test {
namespace {

// Big-endian records built field by field; every record's length is
// patched in when it is closed.
struct Flt {
  std::vector<uint8_t> data;
  size_t open = 0;

  Flt& Begin(uint16_t opcode) {
    open = data.size();
    U16(opcode).U16(0);
    return *this;
  }
  Flt& End() {
    StoreBe16(data.data() + open + 2, static_cast<uint32_t>(data.size() - open));
    return *this;
  }
  Flt& U8(uint8_t v) {
    data.push_back(v);
    return *this;
  }
  Flt& U16(uint32_t v) { return U8(static_cast<uint8_t>(v >> 8)).U8(static_cast<uint8_t>(v)); }
  Flt& U32(uint32_t v) { return U16(v >> 16).U16(v & 0xFFFF); }
  Flt& F32(float v) { return U32(BitsOfFloat(v)); }
  Flt& F64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return U32(static_cast<uint32_t>(bits >> 32)).U32(static_cast<uint32_t>(bits));
  }
  Flt& Zeros(size_t n) {
    data.insert(data.end(), n, 0);
    return *this;
  }
  Flt& Text(const std::string& text, size_t size) {
    std::vector<uint8_t> field(size, 0);
    std::memcpy(field.data(), text.data(), std::min(text.size(), size));
    data.insert(data.end(), field.begin(), field.end());
    return *this;
  }

  Flt& Header() { return Begin(1).Text("db", 8).U32(1570).Zeros(8).End(); }  // cut short: only the revision is read
  Flt& Push() { return Begin(10).End(); }
  Flt& Pop() { return Begin(11).End(); }
  Flt& Group(const std::string& name) { return Begin(2).Text(name, 8).Zeros(32 - 12).End(); }
  Flt& Object(const std::string& name) { return Begin(4).Text(name, 8).Zeros(28 - 12).End(); }
  // Vertices with normal and UV; the palette record says its own length.
  Flt& Palette(const std::vector<std::array<double, 5>>& vertices) {
    Begin(67).U32(static_cast<uint32_t>(8 + 64 * vertices.size())).End();
    for (const auto& v : vertices)
      Begin(70).U16(0).U16(0).F64(v[0]).F64(v[1]).F64(v[2]).F32(0).F32(0).F32(1).F32(float(v[3])).F32(float(v[4]))
          .U32(0).U32(0).U32(0).End();
    return *this;
  }
  // Offset of palette vertex `i` from the palette record.
  static uint32_t At(uint32_t i) { return 8 + 64 * i; }
  // A face of packed colour 0xRRGGBB (stored a, b, g, r) or, with a
  // pattern, textured.
  Flt& Face(uint32_t rgb, int16_t pattern = -1) {
    Begin(5).Text("f", 8).Zeros(8).U16(0xFFFF).U16(0xFFFF).Zeros(4).U16(static_cast<uint16_t>(pattern)).U16(0xFFFF);
    Zeros(8).U16(0).Zeros(2).U32(0x10000000).Zeros(8);  // transparency, flags: packed colour
    U8(255).U8(static_cast<uint8_t>(rgb)).U8(static_cast<uint8_t>(rgb >> 8)).U8(static_cast<uint8_t>(rgb >> 16));
    return Zeros(80 - 60).End();
  }
  Flt& List(const std::vector<uint32_t>& offsets) {
    Begin(72);
    for (uint32_t o : offsets) U32(o);
    return End();
  }
  Flt& FaceWith(const std::vector<uint32_t>& offsets, uint32_t rgb = 0xFF, int16_t pattern = -1) {
    return Face(rgb, pattern).Push().List(offsets).Pop();
  }
  Flt& Matrix(const std::array<float, 16>& m) {
    Begin(49);
    for (float v : m) F32(v);
    return End();
  }
  Flt& Translation(double x, double y, double z) {
    return Matrix({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, float(x), float(y), float(z), 1});
  }
  Flt& Reference(const std::string& path) { return Begin(63).Text(path, 200).Zeros(12).End(); }
  Flt& Texture(const std::string& path, int32_t pattern) {
    return Begin(64).Text(path, 200).U32(static_cast<uint32_t>(pattern)).U32(0).U32(0).End();
  }
};

// A unit square at height z (palette vertices 0-3), in one object.
Flt Square(double z, const std::string& name = "sq") {
  Flt f;
  f.Header().Palette({{{0, 0, z, 0, 0}}, {{1, 0, z, 1, 0}}, {{1, 1, z, 1, 1}}, {{0, 1, z, 0, 1}}});
  f.Push().Object(name).Push().FaceWith({Flt::At(0), Flt::At(1), Flt::At(2), Flt::At(3)}).Pop();
  return f;
}

struct Loaded {
  int result = 0;
  uint32_t polygons = 0, objects = 0;
  std::vector<std::vector<double>> corners;  // every point of every polygon
  std::vector<MaterialRecord> materials;     // of each polygon
  std::vector<TextureRecord> textures;
  std::vector<std::array<double, 2>> uvs;
  std::string log, errors;
};

Loaded Load(const std::string& path) {
  Loaded out;
  LogCapture log;
  out.result = LoadThroughPipeline(path, TYPE_FLT, [&](ModelData& m) {
    out.polygons = m.polygons_count;
    out.objects = m.objects_count;
    for (uint32_t p = 0; p < m.polygons_count; ++p) {
      for (uint32_t v : PolygonPoints(m, p)) {
        out.corners.push_back(VertexAt(m, v));
        double u = -1, t = -1;
        m.GetVertexTexcoord(v, u, t);
        out.uvs.push_back({u, t});
      }
      const int32_t material = m.GetPolygonMaterial(p);
      if (material >= 0 && m.GetMaterial(static_cast<uint32_t>(material))) out.materials.push_back(m.material);
    }
    for (uint32_t t = 0; t < m.textures_count; ++t) out.textures.push_back(m.Texture(t));
  });
  out.log = log.Text();
  out.errors = log.ErrorText();
  return out;
}

std::vector<double> Heights(const Loaded& loaded) {
  std::vector<double> z;
  for (const auto& c : loaded.corners) z.push_back(c[2]);
  std::sort(z.begin(), z.end());
  z.erase(std::unique(z.begin(), z.end()), z.end());
  return z;
}

// Faces, colours, a texture from the palette with its flipped UVs, a
// group's matrix applied to what lies below it, and objects.
TEST(FltLoader, FacesColoursTexturesAndMatrices) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path() / "maps");
  WriteBytes(dir.Path() / "maps" / "Wood.tga", TinyTarga(2, 2, 90));
  Flt f;
  f.Header().Texture("maps/wood.tga", 7);
  f.Palette({{{0, 0, 0, 0, 0}}, {{2, 0, 0, 1, 0}}, {{2, 2, 0, 1, 0.25}}, {{0, 2, 0, 0, 1}}});
  f.Push().Object("plain").Push().FaceWith({Flt::At(0), Flt::At(1), Flt::At(2)}, 0x3020A0).Pop();
  f.Object("wood").Push().FaceWith({Flt::At(0), Flt::At(1), Flt::At(2), Flt::At(3)}, 0xFFFFFF, 7).Pop();
  f.Group("moved").Translation(0, 0, 5).Push().FaceWith({Flt::At(0), Flt::At(2), Flt::At(3)}, 0x3020A0).Pop();
  f.Pop();
  WriteBytes(dir.File("scene.flt"), f.data);

  const Loaded loaded = Load(dir.File("scene.flt"));
  ASSERT_EQ(loaded.result, 1) << loaded.errors;
  EXPECT_EQ(loaded.errors, "");
  ASSERT_EQ(loaded.polygons, 3u);
  EXPECT_EQ(loaded.objects, 2u);
  ASSERT_EQ(loaded.corners.size(), 10u);
  EXPECT_EQ(loaded.corners[5], (std::vector<double>{2, 2, 0}));
  EXPECT_EQ(loaded.corners[7], (std::vector<double>{0, 0, 5}));  // moved by its group
  EXPECT_EQ(Heights(loaded), (std::vector<double>{0, 5}));
  ASSERT_EQ(loaded.materials.size(), 3u);
  EXPECT_EQ(loaded.materials[0].diffuse[0], 0x30);
  EXPECT_EQ(loaded.materials[0].diffuse[1], 0x20);
  EXPECT_EQ(loaded.materials[0].diffuse[2], 0xA0);
  EXPECT_EQ(loaded.materials[0].texture, -1);
  EXPECT_EQ(loaded.materials[2].texture, -1);
  ASSERT_EQ(loaded.textures.size(), 1u);
  EXPECT_EQ(loaded.textures[0].kind, 0u) << "the texture file was not found: " << loaded.log;
  EXPECT_EQ(loaded.materials[1].texture, 0);
  EXPECT_DOUBLE_EQ(loaded.uvs[5][1], 0.75);  // v counts from the top
}

// Local vertex pools and their primitives: strips keep every triangle
// facing the same way.
TEST(FltLoader, MeshPrimitives) {
  struct Case {
    int16_t type;
    std::vector<uint16_t> indexes;
    std::vector<std::vector<uint16_t>> polygons;  // pool indexes expected
  } cases[] = {
      {1, {0, 1, 2, 3}, {{0, 1, 2}, {2, 1, 3}}},
      {2, {0, 1, 2, 3}, {{0, 1, 2}, {0, 2, 3}}},
      {3, {0, 1, 3, 2}, {{0, 1, 2, 3}}},
      {4, {3, 2, 1}, {{3, 2, 1}}},
      {4, {0, 1, 9}, {}},  // an index beyond the pool
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    TempDir dir;
    Flt f;
    f.Header().Push().Object("mesh");
    f.Begin(84).Text("m", 8).Zeros(8).U16(0xFFFF).U16(0xFFFF).Zeros(4).U16(0xFFFF).U16(0xFFFF).Zeros(12);
    f.U32(0x10000000).Zeros(8).U8(255).U8(0).U8(255).U8(0).Zeros(24).End();
    f.Push().Begin(85).U32(4).U32(0x80000000);
    const double pool[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    for (const auto& p : pool) f.F64(p[0]).F64(p[1]).F64(p[2]);
    f.End().Begin(86).U16(static_cast<uint16_t>(c.type)).U16(2).U32(static_cast<uint32_t>(c.indexes.size()));
    for (uint16_t i : c.indexes) f.U16(i);
    f.End().Pop().Pop();
    WriteBytes(dir.File("mesh.flt"), f.data);
    const Loaded loaded = Load(dir.File("mesh.flt"));
    if (c.polygons.empty()) {
      EXPECT_EQ(loaded.result, 0);
      EXPECT_NE(loaded.errors, "");
      continue;
    }
    ASSERT_EQ(loaded.result, 1) << loaded.errors;
    std::vector<std::vector<double>> expected;
    for (const auto& polygon : c.polygons)
      for (uint16_t i : polygon) expected.push_back({pool[i][0], pool[i][1], pool[i][2]});
    EXPECT_EQ(loaded.corners, expected);
    EXPECT_EQ(loaded.materials.at(0).diffuse[1], 255);
  }
}

// External references: found relative to the referencing file whatever
// the case of their folders, placed by their matrix; loops, missing files
// and endless chains are logged and skipped while the rest loads.
TEST(FltLoader, ExternalReferences) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path() / "Parts");
  // Master (z 0) → parts/a.flt at +10 z (z 1 in a) → b.flt beside a (z 2).
  Flt b = Square(2, "b");
  b.Pop();
  WriteBytes(dir.Path() / "Parts" / "b.flt", b.data);
  Flt a = Square(1, "a");
  a.Group("ref").Reference("./B.FLT").Pop();
  WriteBytes(dir.Path() / "Parts" / "a.flt", a.data);
  Flt master = Square(0, "m");
  master.Reference("parts\\a.flt<node>").Translation(0, 0, 10).Reference("missing.flt").Pop();
  WriteBytes(dir.File("master.flt"), master.data);
  // Two files that name each other, and one that names itself.
  Flt ping = Square(3, "ping");
  ping.Reference("pong.flt").Pop();
  WriteBytes(dir.File("ping.flt"), ping.data);
  Flt pong = Square(4, "pong");
  pong.Reference("ping.flt").Translation(0, 0, 100).Pop();
  WriteBytes(dir.File("pong.flt"), pong.data);
  // A chain longer than the nesting limit: link0 → link1 → … → link29.
  for (int i = 0; i < 30; ++i) {
    Flt link = Square(i, "link");
    link.Reference("link" + std::to_string(i + 1) + ".flt").Pop();
    WriteBytes(dir.File("link" + std::to_string(i) + ".flt"), link.data);
  }

  struct Case {
    std::string file;
    std::vector<double> heights;
    std::string logged;
  } cases[] = {
      {"master.flt", {0, 11, 12}, "[missing.flt] not found"},
      {"ping.flt", {3, 4}, "[ping.flt] refers back"},
      {"pong.flt", {4, 103}, "[pong.flt] refers back"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Loaded loaded = Load(dir.File(c.file));
    ASSERT_EQ(loaded.result, 1) << loaded.errors;
    EXPECT_EQ(Heights(loaded), c.heights);
    EXPECT_NE(loaded.errors.find(c.logged), std::string::npos) << loaded.errors;
  }
  const Loaded chain = Load(dir.File("link0.flt"));
  ASSERT_EQ(chain.result, 1);
  EXPECT_EQ(chain.polygons, 17u);  // the file and 16 nested references
  EXPECT_NE(chain.errors.find("[link17.flt] nests deeper"), std::string::npos) << chain.errors;
}

// An instance definition is drawn only where instance references place
// it, each by its own matrix; an undefined instance is logged and skipped.
TEST(FltLoader, InstancesArePlacedWhereReferenced) {
  Flt f;
  f.Header().Palette({{{0, 0, 0, 0, 0}}, {{1, 0, 0, 0, 0}}, {{1, 1, 0, 0, 0}}});
  f.Push().Begin(62).U16(0).U16(3).End();
  f.Push().Object("def").Push().FaceWith({Flt::At(0), Flt::At(1), Flt::At(2)}).Pop().Pop();
  f.Begin(61).U16(0).U16(3).End().Translation(0, 0, 7).Begin(61).U16(0).U16(3).End().Translation(0, 0, -2);
  f.Begin(61).U16(0).U16(5).End();
  // Inside a group turned a quarter about z: moved first, then turned.
  f.Group("turn").Matrix({0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}).Push();
  f.Begin(61).U16(0).U16(3).End().Translation(1, 0, 0).Pop().Pop();
  FreshModel fresh;
  LogCapture log;
  ASSERT_EQ(LoadFromBytes(fresh.model, LoadFlt, f.data), 1) << log.ErrorText();
  std::vector<double> heights;
  for (uint32_t p = 0; p < fresh.model.polygons_count; ++p)
    heights.push_back(VertexAt(fresh.model, PolygonPoints(fresh.model, p)[0])[2]);
  EXPECT_EQ(heights, (std::vector<double>{7, -2, 0}));
  ASSERT_EQ(fresh.model.polygons_count, 3u);
  EXPECT_EQ(VertexAt(fresh.model, PolygonPoints(fresh.model, 2)[1]), (std::vector<double>{0, 2, 0}));
  EXPECT_NE(log.ErrorText().find("instance 5 is not defined"), std::string::npos) << log.ErrorText();
}

// Broken files: lengths that leave the file or do not move the reader fail
// with a reason; offsets outside the palette lose only their points; every
// cut of a sound file loads or fails with a reason.
TEST(FltLoader, BrokenFilesAreRefusedOrRepaired) {
  Flt sound = Square(0);
  sound.Pop();
  {
    Flt past = sound;
    past.Begin(2).Text("g", 8).End();
    StoreBe16(past.data.data() + past.open + 2, 400);
    Flt zero = sound;
    zero.Begin(2).End();
    StoreBe16(zero.data.data() + zero.open + 2, 0);
    Flt headless;
    headless.Push().Pop();
    for (const auto& [bytes, logged] : {std::pair{past.data, std::string("past the end")},
                                        std::pair{zero.data, std::string("below its own header")},
                                        std::pair{headless.data, std::string("header record")}}) {
      FreshModel fresh;
      LogCapture log;
      EXPECT_EQ(LoadFromBytes(fresh.model, LoadFlt, bytes), 0) << logged;
      EXPECT_NE(log.ErrorText().find(logged), std::string::npos) << log.ErrorText();
    }
  }
  {
    Flt f;
    f.Header().Palette({{{0, 0, 0, 0, 0}}, {{1, 0, 0, 0, 0}}, {{1, 1, 0, 0, 0}}});
    f.Push().Object("o").Push().FaceWith({Flt::At(0), 4, Flt::At(1), 100000, Flt::At(2)});
    f.FaceWith({Flt::At(0), 9});
    // A morph list pairs rest and morphed corners: the rest corners count.
    f.Face(0xFF).Push().Begin(89).U32(Flt::At(0)).U32(Flt::At(1)).U32(Flt::At(1)).U32(Flt::At(2));
    f.U32(Flt::At(2)).U32(Flt::At(0)).End().Pop().Pop().Pop();
    FreshModel fresh;
    LogCapture log;
    ASSERT_EQ(LoadFromBytes(fresh.model, LoadFlt, f.data), 1);
    ASSERT_EQ(fresh.model.polygons_count, 2u);
    EXPECT_EQ(PolygonPoints(fresh.model, 0).size(), 3u);
    std::vector<std::vector<double>> morphed;
    for (uint32_t v : PolygonPoints(fresh.model, 1)) morphed.push_back(VertexAt(fresh.model, v));
    EXPECT_EQ(morphed, (std::vector<std::vector<double>>{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}));
    EXPECT_NE(log.ErrorText().find("3 vertex offsets outside the vertex palette"), std::string::npos)
        << log.ErrorText();
  }
  ExpectEveryCutLoadsOrFailsWithReason(sound.data, LoadFlt);
}

// A file of nodes only loads no model, and says why.
TEST(FltCorpus, HierarchyWithoutFacesFailsClearly) {
  const std::filesystem::path path = CorpusDir() / "models/flt/switch.flt";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "corpus not present";
  const Loaded loaded = Load(path.string());
  EXPECT_EQ(loaded.result, 0);
  EXPECT_NE(loaded.errors.find("no faces"), std::string::npos) << loaded.errors;
}

// The reference chains of the real files: each file's own face and those of
// its references, each placed where its referencing file says, and the
// textures named relative to each file found (none is a placeholder).
TEST(FltCorpus, ReferenceChainsArePlacedAndTexturesFound) {
  const std::filesystem::path root = CorpusDir() / "models/flt";
  if (!std::filesystem::exists(root / "switch.flt")) GTEST_SKIP() << "corpus not present";
  struct Case {
    std::string file;
    uint32_t faces, textures;
    std::vector<double> box;  // min x y z, max x y z
  } cases[] = {
      {"nested_references/master/master.flt", 3, 0, {-20, -20, 0, 20, 20, 1}},
      {"nested_references/shared/a.flt", 2, 0, {-10, -5, 0, 10, 5, 0}},
      {"nested_references2/db/1/1.flt", 1, 1, {0, -0.00012734, 0, 0.07, -0.00012734, 0.12}},
      {"nested_references2/db/1/12/12.flt", 2, 2, {0, -0.00012734, 0, 0.17, -0.00012734, 0.12}},
      {"nested_references2/db/1/12/123/1234/1234.flt", 4, 4, {0, -0.00012734, 0, 0.37, -0.00012734, 0.12}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Loaded loaded = Load((root / c.file).string());
    ASSERT_EQ(loaded.result, 1) << loaded.errors;
    EXPECT_EQ(loaded.polygons, c.faces);
    ASSERT_EQ(loaded.textures.size(), c.textures);
    for (const TextureRecord& t : loaded.textures) EXPECT_EQ(t.kind, 0u) << t.full_name;
    std::vector<double> box = {1e300, 1e300, 1e300, -1e300, -1e300, -1e300};
    for (const auto& p : loaded.corners)
      for (int k = 0; k < 3; ++k) {
        box[k] = std::min(box[k], p[k]);
        box[3 + k] = std::max(box[3 + k], p[k]);
      }
    for (int k = 0; k < 6; ++k) EXPECT_NEAR(box[k], c.box[k], 1e-6) << k;
  }
}

// Our reading agrees with a second reader of the format (triangles and
// extent), and what we write is read back by assimp the same.
TEST(FltCorpus, AgreesWithPeerReader) {
  ExpectCorpusConverts("models/flt/", TYPE_FLT, 7);
  if (!HaveProgram("osgconv")) GTEST_SKIP() << "osgconv is not installed: its reading was not compared";
  for (const CorpusEntry& entry : CorpusFiles("models/flt/")) {
    if (entry.expected_type != TYPE_FLT) continue;
    SCOPED_TRACE(entry.path);
    const std::string source = (CorpusDir() / entry.path).string();
    std::vector<Triangle> ours;
    ASSERT_EQ(Convert(source, TYPE_FLT, &ours), 1);
    TempDir temp;
    const std::string peer = temp.File("peer.obj");
    ASSERT_EQ(RunCommand("cd '" + temp.Path().string() + "' && osgconv '" + source + "' '" + peer + "' >/dev/null 2>&1"), 0);
    const AssimpReport view = AssimpReportOf(peer);
    ASSERT_TRUE(view.read);
    const AssimpReport mine = ReportOf(ours);
    EXPECT_EQ(view.faces, mine.faces);
    EXPECT_TRUE(SameBox(view, mine));
  }
}

}  // namespace
}  // namespace zepcon::test
