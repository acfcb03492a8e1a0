#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include "core/type_recognition.h"
#include "formats3d/lwo_helpers.h"

namespace zepcon::test {
namespace {

// A pyramid: a square base with a detail triangle on it, and two sides.
// Surface names "abc" (4 bytes with its terminator, no pad) and "wood"
// (padded to 6). The SURF chunks come in the other order than the names,
// and an odd-length chunk of no interest sits between the others.
// `unterminated` leaves the terminator off the name list (1) or off the
// first surface's name (2); `texture` names the texture of "abc".
Iff PyramidFile(const char* form_type = "LWOB", int unterminated = 0, const char* texture = nullptr) {
  Iff f;
  f.Begin("FORM").Id(form_type);
  if (unterminated == 1) {
    f.Begin("SRFS").Z("abc").Id("wood").End();
  } else {
    f.Begin("SRFS").Z("abc").Z("wood").End();
  }
  f.Begin("XTRA").U8(1).U8(2).U8(3).End();
  f.Begin("PNTS");
  const float points[5][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5f, 0.5f, 2}};
  for (const auto& p : points) f.F32(p[0]).F32(p[1]).F32(p[2]);
  f.End();
  f.Begin("POLS");
  f.U16(4).U16(0).U16(1).U16(2).U16(3).I16(-2);  // base, one detail follows
  f.U16(1).U16(3).U16(0).U16(1).U16(2).I16(1);   // the detail, on "abc"
  f.U16(3).U16(1).U16(2).U16(4).I16(2);
  f.U16(3).U16(2).U16(3).U16(4).I16(2);
  f.End();
  if (unterminated == 2) {
    f.Begin("SURF").Id("wood").End();
  } else {
    f.Begin("SURF").Z("wood");
    f.Sub("COLR", {10, 20, 30, 0}).Sub("REFL", {0, 64}).Sub("TRAN", {0, 0}).Sub("VDIF", {0x3F, 0x80, 0, 0});
    f.End();
  }
  f.Begin("SURF").Z("abc").Sub("COLR", {200, 100, 50, 0}).Sub("TRAN", {1, 0}).Sub("REFL", {0, 128});
  if (texture) {
    std::vector<uint8_t> name(texture, texture + std::strlen(texture) + 1);
    if (name.size() % 2) name.push_back(0);
    f.Sub("CTEX", name);
  }
  f.End();
  f.End();
  return f;
}

std::vector<uint32_t> CornersOf(ModelData& m, uint32_t polygon) {
  m.relative_reads = 0;
  uint32_t first = 0, count = 0;
  std::vector<uint32_t> corners;
  if (!m.ReadPolygonPointData(polygon, first, count)) return corners;
  for (uint32_t k = 0; k < count; ++k) corners.push_back(m.GetPointVertex(first + k));
  return corners;
}

TEST(LwobLoader, PointsPolygonsDetailsAndSurfaces) {
  FreshModel fresh;
  LogCapture log;
  ModelData& m = fresh.model;
  ASSERT_EQ(LoadFromBytes(m, LoadLwo, PyramidFile().bytes), 1);
  EXPECT_EQ(log.ErrorText(), "");
  ASSERT_EQ(m.vertexs_count, 5u);
  EXPECT_EQ(VertexAt(m, 4), (std::vector<double>{0.5, 0.5, 2}));
  ASSERT_EQ(m.polygons_count, 4u);
  EXPECT_EQ(CornersOf(m, 0), (std::vector<uint32_t>{0, 1, 2, 3}));
  EXPECT_EQ(CornersOf(m, 1), (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(m.poly_materials_present, 1u);
  // Surface numbers name the listed surfaces, whatever order their
  // definitions come in; -2 is the second one.
  const int32_t expected_materials[] = {1, 0, 1, 1};
  for (uint32_t p = 0; p < 4; ++p) EXPECT_EQ(m.GetPolygonMaterial(p), expected_materials[p]) << p;
  ASSERT_EQ(m.materials_count, 2u);
  const struct {
    const char* name;
    uint8_t rgb[3];
    uint8_t shininess, transparency;
  } expected[] = {{"abc", {200, 100, 50}, 127, 0}, {"wood", {10, 20, 30}, 63, 255}};
  for (uint32_t i = 0; i < 2; ++i) {
    m.GetMaterial(i);
    EXPECT_STREQ(m.material.name, expected[i].name);
    EXPECT_EQ(std::memcmp(m.material.diffuse, expected[i].rgb, 3), 0) << i;
    EXPECT_EQ(m.material.shininess, expected[i].shininess) << i;
    EXPECT_EQ(m.material.transparency, expected[i].transparency) << i;
  }
  EXPECT_TRUE(log.Contains("FORM type LWOB")) << log.Text();
}

TEST(LwobLoader, LongPolygonKeepsItsLast210Points) {
  Iff f;
  f.Begin("FORM").Id("LWOB").Begin("PNTS");
  for (int i = 0; i < 215; ++i) f.F32(static_cast<float>(i)).F32(0).F32(0);
  f.End().Begin("POLS").U16(215);
  for (int i = 0; i < 215; ++i) f.U16(i);
  f.I16(1).U16(3).U16(0).U16(1).U16(2).I16(1).End().End();
  FreshModel fresh;
  LogCapture log;
  ASSERT_EQ(LoadFromBytes(fresh.model, LoadLwo, f.bytes), 1);
  EXPECT_TRUE(log.Contains("More then max points (215), poly 0")) << log.Text();
  ASSERT_EQ(fresh.model.polygons_count, 2u);
  const std::vector<uint32_t> corners = CornersOf(fresh.model, 0);
  ASSERT_EQ(corners.size(), 210u);
  EXPECT_EQ(corners.front(), 5u);
  EXPECT_EQ(corners.back(), 214u);
  EXPECT_EQ(CornersOf(fresh.model, 1), (std::vector<uint32_t>{0, 1, 2}));
}

// Damaged files: each is logged with its reason, keeps what could be read,
// and the walk ends in time.
TEST(LwobLoader, HostileFilesAreLoggedAndSurvived) {
  const std::vector<uint8_t> good = PyramidFile().bytes;
  const auto find = [&good](const std::string& id) {
    return static_cast<size_t>(std::search(good.begin(), good.end(), id.begin(), id.end()) - good.begin());
  };
  const auto with = [&good](size_t at, std::vector<uint8_t> bytes) {
    std::vector<uint8_t> changed = good;
    std::copy(bytes.begin(), bytes.end(), changed.begin() + static_cast<long>(at));
    return changed;
  };
  const size_t pnts = find("PNTS"), pols = find("POLS"), wood = find(std::string("wood\0\0COLR", 10));
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    int result;
    const char* logged;
    uint32_t polygons;
  };
  std::vector<uint8_t> odd_points = with(pnts + 4, {0, 0, 0, 61});
  std::vector<uint8_t> cut_file(good.begin(), good.begin() + static_cast<long>(pols + 20));
  const Case cases[] = {
      {"points chunk of a wrong size", odd_points, 1, "-bad size, reminder 1", 0},
      {"polygon chunk longer than its FORM", with(pols + 4, {0x7F, 0xFF, 0xFF, 0xF0}), 1, "runs past the end", 4},
      {"name list without terminator", PyramidFile("LWOB", 1).bytes, 1, "has no terminator", 4},
      {"surface name without terminator", PyramidFile("LWOB", 2).bytes, 1, "has no terminator", 4},
      {"point count larger than the chunk", with(pols + 8, {0xEA, 0x60}), 1, "ends inside a polygon", 0},
      {"detail count larger than the chunk", with(pols + 8 + 12, {0xFF, 0xFF}), 1, "ends inside a polygon", 4},
      {"index past the points", with(pols + 8 + 2, {0, 9}), 1, "naming points the object does not have", 3},
      {"surface sub-chunk longer than its surface", with(wood + 10, {0x10, 0}), 1, "sub-chunk runs past", 4},
      {"file cut inside the polygons", cut_file, 1, "runs past the end", 1},
      {"FORM of the later form", PyramidFile("LWO2").bytes, 0, "is not an LWOB object", 0},
      {"no FORM at all", std::vector<uint8_t>{'P', 'N', 'T', 'S', 0, 0, 0, 0}, 0, "does not begin with a FORM", 0},
      {"empty file", {}, 0, "does not begin with a FORM", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshModel fresh;
    LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(LoadFromBytes(fresh.model, LoadLwo, c.bytes), c.result);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(log.Contains(c.logged)) << log.Text();
    EXPECT_EQ(fresh.model.polygons_count, c.polygons);
    EXPECT_EQ(fresh.model.CheckModel(), 1);
    for (uint32_t p = 0; p < fresh.model.polygons_count; ++p)
      for (uint32_t v : CornersOf(fresh.model, p)) ASSERT_LT(v, fresh.model.vertexs_count);
  }
}

TEST(LwobLoader, EveryCutOfAValidFileFailsOrLoadsWithAReason) {
  ExpectEveryCutLoadsOrFailsWithReason(PyramidFile().bytes, LoadLwo);
}

// The colour texture is named either by its own sub-chunk or, in files
// LightWave wrote, by the image that follows the mapping kind; the image of
// another channel is not the material's texture.
TEST(LwobLoader, ColourTextureNames) {
  TempDir temp;
  WriteBytes(temp.Path() / "tex.tga", TinyTarga(2, 2, 200));
  const struct {
    const char* what;
    std::vector<std::pair<const char*, std::string>> subs;
    bool textured;
  } cases[] = {
      {"file named by CTEX, in another case", {{"CTEX", "TEX.TGA"}}, true},
      {"mapping kind and image", {{"CTEX", "Planar Image Map"}, {"TIMG", "tex.tga"}}, true},
      {"image of the diffuse channel", {{"DTEX", "Planar Image Map"}, {"TIMG", "tex.tga"}}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Iff f;
    f.Begin("FORM").Id("LWOB").Begin("PNTS").F32(0).F32(0).F32(0).F32(1).F32(0).F32(0).F32(0).F32(1).F32(0).End();
    f.Begin("POLS").U16(3).U16(0).U16(1).U16(2).I16(1).End().Begin("SURF").Z("s");
    for (const auto& [id, text] : c.subs) {
      std::vector<uint8_t> data(text.c_str(), text.c_str() + text.size() + 1);
      data.resize((data.size() + 1) & ~size_t{1});
      f.Sub(id, data);
    }
    f.End().End();
    const std::string path = temp.File("obj.lwo");
    WriteBytes(path, f.bytes);
    ASSERT_EQ(LoadThroughPipeline(path, kLwobType, [&](ModelData& m) {
                ASSERT_EQ(m.materials_count, 1u);
                m.GetMaterial(0);
                if (!c.textured) {
                  EXPECT_EQ(m.material.texture, -1);
                  return;
                }
                ASSERT_GE(m.material.texture, 0);
                const TextureRecord& t = m.Texture(static_cast<uint32_t>(m.material.texture));
                EXPECT_EQ(t.kind, 0u);
                EXPECT_EQ(t.width, 2u);
              }),
              1);
  }
}

// ---- Saving -------------------------------------------------------------------

struct Saved {
  int result;
  std::string text;
  std::vector<ChunkView> chunks;
};

Saved SaveModel(ModelData& m, Codec saver = SaveLwo) {
  Saved saved;
  saved.result = RunOnFile(m, saver, saved.text);
  if (saved.result == 1) saved.chunks = ChunksOf(saved.text);
  return saved;
}

// Two triangles on materials "wood" (padded name) and "abcdefg" (none).
void TwoTriangles(ModelData& m, bool with_materials) {
  m.SetModelOrientation(2, 4, 1);
  for (int v = 0; v < 4; ++v) m.StoreVertex(v, v % 2, 0);
  const uint32_t a[3] = {0, 1, 2}, b[3] = {1, 2, 3};
  m.StorePolygon(3, a);
  m.StorePolygon(3, b);
  m.FinishObjects();
  if (!with_materials) return;
  m.ResetMaterial();
  m.SetMaterialName("wood");
  const uint8_t rgb[3] = {10, 20, 30};
  std::memcpy(m.material.diffuse, rgb, 3);
  m.material.shininess = 0;
  m.material.transparency = 255;
  m.AddMaterial();
  m.ResetMaterial();
  m.SetMaterialName("abcdefg");
  m.material.shininess = 100;
  m.material.transparency = 55;
  m.AddMaterial();
  m.poly_materials_present = 1;
  m.SetPolygonMaterial(0, 0);
  m.SetPolygonMaterial(1, 1);
}

std::vector<uint8_t> SubChunk(const std::vector<uint8_t>& surface, const std::string& id) {
  auto at = std::search(surface.begin(), surface.end(), id.begin(), id.end());
  if (at == surface.end() || surface.end() - at < 6) return {};
  const size_t size = LoadBe16(&*(at + 4));
  if (static_cast<size_t>(surface.end() - at) < 6 + size) return {};
  return std::vector<uint8_t>(at + 6, at + 6 + static_cast<long>(size));
}

// Names padded in the list, colours, reflection and transparency in the
// file's 0 … 256 scale, the smoothing angle only when set; surface numbers
// always name a surface of the file (1 without materials, an added default
// surface for a polygon without one).
TEST(LwobSaver, SurfacesAndSurfaceNumbers) {
  const struct {
    int materials;  // 0 none, 2 both triangles, 1 the second without
    float smoothing;
    const char* names;
    uint16_t surfaces[2];
  } cases[] = {{2, -1.0f, "wood|abcdefg|", {1, 2}},
               {2, 30.5f, "wood|abcdefg|", {1, 2}},
               {1, -1.0f, "wood|abcdefg|Default|", {1, 3}},
               {0, 30.5f, "", {1, 1}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.names);
    FreshModel fresh;
    TwoTriangles(fresh.model, c.materials > 0);
    if (c.materials == 1) fresh.model.SetPolygonMaterial(1, kNoMaterial);
    fresh.model.settings.smoothing_angle = c.smoothing;
    const Saved saved = SaveModel(fresh.model);
    ASSERT_EQ(saved.result, 1);
    const std::vector<ChunkView> lists = ChunksNamed(saved.chunks, "SRFS"), surfaces = ChunksNamed(saved.chunks, "SURF");
    std::string names;
    for (const ChunkView& list : lists) {
      for (const std::string& name : PaddedStrings(list.body)) names += name + "|";
      EXPECT_EQ(std::string(list.body.begin(), list.body.begin() + 14), std::string("wood\0\0abcdefg\0", 14));
    }
    EXPECT_EQ(names, c.names);
    ASSERT_EQ(surfaces.size(), std::count(names.begin(), names.end(), '|'));
    const std::vector<uint8_t> pols = ChunksNamed(saved.chunks, "POLS").at(0).body;
    ASSERT_EQ(pols.size(), 20u);
    EXPECT_EQ(LoadBe16(&pols[8]), c.surfaces[0]);
    EXPECT_EQ(LoadBe16(&pols[18]), c.surfaces[1]);
    if (surfaces.empty()) continue;
    const std::vector<uint8_t>& wood = surfaces[0].body;
    EXPECT_EQ(SubChunk(wood, "COLR"), (std::vector<uint8_t>{10, 20, 30, 0}));
    EXPECT_EQ(SubChunk(wood, "REFL"), (std::vector<uint8_t>{0, 0}));
    EXPECT_EQ(SubChunk(wood, "TRAN"), (std::vector<uint8_t>{0, 0}));
    EXPECT_EQ(SubChunk(wood, "DIFF"), (std::vector<uint8_t>{0, 255}));
    EXPECT_EQ(SubChunk(surfaces[1].body, "REFL"), (std::vector<uint8_t>{0, 101}));
    EXPECT_EQ(SubChunk(surfaces[1].body, "TRAN"), (std::vector<uint8_t>{0, 201}));
    const std::vector<uint8_t> angle = SubChunk(wood, "SMAN");
    EXPECT_EQ(angle.size(), c.smoothing == -1.0f ? 0u : 4u);
    if (angle.size() == 4) {
      EXPECT_EQ(FloatFromBits(LoadBe32(angle.data())), c.smoothing);
    }
  }
}

// Point indexes are 16 bits: a model with more vertices than they can name
// is refused instead of written with wrapped indexes.
TEST(LwobSaver, RefusesMoreVertexsThanIndexesHold) {
  for (const uint32_t vertexs : {65536u, 65537u}) {
    SCOPED_TRACE(vertexs);
    FreshModel fresh;
    ModelData& m = fresh.model;
    m.SetModelOrientation(2, 4, 1);
    for (uint32_t v = 0; v < vertexs; ++v) m.StoreVertex(v, v % 2, 0);
    const uint32_t last[3] = {vertexs - 3, vertexs - 2, vertexs - 1};
    m.StorePolygon(3, last);
    m.FinishObjects();
    LogCapture log;
    const Saved saved = SaveModel(m);
    if (vertexs == 65536u) {
      ASSERT_EQ(saved.result, 1);
      const std::vector<uint8_t> pols = ChunksNamed(saved.chunks, "POLS")[0].body;
      EXPECT_EQ(LoadBe16(&pols[6]), 65535u);
    } else {
      EXPECT_EQ(saved.result, 0);
      EXPECT_TRUE(log.Contains("can't have more then 65535 vertexs")) << log.Text();
      EXPECT_TRUE(log.Contains("nothing written")) << log.Text();
    }
  }
}

// LWOB -> LWOB through the pipeline keeps points, polygons (split into
// triangles), materials and the texture, written beside as a picture.
TEST(LwobRoundTrip, KeepsGeometryMaterialsAndTexture) {
  TempDir in, out;
  WriteBytes(in.Path() / "tex.tga", TinyTarga(2, 2, 99));
  const Iff textured = PyramidFile("LWOB", 0, "tex.tga");
  const std::string source = in.File("pyramid.lwo");
  WriteBytes(source, textured.bytes);
  const std::string written = out.File("again.lwo");
  ASSERT_EQ(Convert(source, kLwobType, nullptr, written, kLwobType), 1);
  EXPECT_TRUE(std::filesystem::exists(out.Path() / "tex.tga"));

  std::vector<Triangle> before, after;
  ASSERT_EQ(Convert(source, kLwobType, &before), 1);
  ASSERT_EQ(Convert(written, kLwobType, &after), 1);
  ASSERT_EQ(after.size(), before.size());
  for (size_t t = 0; t < before.size(); ++t)
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(after[t][k], before[t][k], 1e-6) << t;
  // Names, colours, reflection, transparency and texture of every
  // material, and the material of every triangle.
  std::string seen[2];
  for (int pass = 0; pass < 2; ++pass)
    ASSERT_EQ(LoadThroughPipeline(pass == 0 ? source : written, kLwobType, [&](ModelData& m) {
                m.TriangulatePolygons();
                for (uint32_t i = 0; i < m.materials_count; ++i) {
                  m.GetMaterial(i);
                  const MaterialRecord& r = m.material;
                  seen[pass] += std::string(r.name) + " " + std::to_string(r.diffuse[0]) + " " +
                                std::to_string(r.diffuse[1]) + " " + std::to_string(r.diffuse[2]) + " " +
                                std::to_string(r.shininess) + " " + std::to_string(r.transparency) + " " +
                                (r.texture >= 0 ? m.Texture(static_cast<uint32_t>(r.texture)).base_name : "-") +
                                (r.texture >= 0 && m.Texture(static_cast<uint32_t>(r.texture)).kind == 0 ? " file" : "") + "\n";
                }
                for (uint32_t p = 0; p < m.polygons_count; ++p) seen[pass] += std::to_string(m.GetPolygonMaterial(p));
              }),
              1);
  EXPECT_EQ(seen[1], seen[0]);
  EXPECT_NE(seen[0].find("abc 200 100 50 127 0 tex file"), std::string::npos) << seen[0];
}

// The assimp at hand reads no LWOB file at all: every file of the corpus
// fails with "Unable to build a valid node graph" (its reader of the older
// form builds no layer). Its reading is compared whenever it manages one;
// otherwise it must fail for that reason and no other.
bool AssimpReads(const std::string& path, AssimpReport& view) {
  view = AssimpReportOf(path);
  if (view.read) return true;
  std::string output;
  RunCommand("assimp info '" + path + "' 2>&1", &output);
  EXPECT_NE(output.find("Unable to build a valid node graph"), std::string::npos) << output;
  return false;
}

// Every LWOB file of the corpus loads (the one without extension is told by
// its header); assimp reads the same triangles and extent in the source and
// in our conversions to OBJ, LWO2 and LWOB.
TEST(LwobCorpus, EveryFileLoadsAndConvertsAsAssimpReadsIt) {
  std::vector<CorpusEntry> files;
  for (const CorpusEntry& entry : CorpusFiles("models/lwo/"))
    if (entry.expected_type == kLwobType) files.push_back(entry);
  if (files.empty()) GTEST_SKIP() << "corpus not present";
  ASSERT_GE(files.size(), 5u);
  const bool assimp = HaveProgram("assimp");
  for (const CorpusEntry& entry : files) {
    SCOPED_TRACE(entry.path);
    const std::string source = (CorpusDir() / entry.path).string();
    EXPECT_EQ(DetermineTypeOfPath(source.c_str()), kLwobType);
    std::vector<Triangle> ours;
    ASSERT_EQ(Convert(source, kLwobType, &ours), 1);
    ASSERT_FALSE(ours.empty());
    const AssimpReport loaded = ReportOf(ours);
    // The point count the manifest gives, where it gives one.
    const size_t named = entry.notes.find(" points");
    if (named != std::string::npos) {
      const size_t start = entry.notes.rfind(' ', named - 1) + 1;
      const uint32_t points = static_cast<uint32_t>(std::stoul(entry.notes.substr(start, named - start)));
      EXPECT_EQ(LoadThroughPipeline(source, kLwobType, [&](ModelData& m) { EXPECT_EQ(m.vertexs_count, points); }), 1);
    }
    AssimpReport view;
    if (assimp && AssimpReads(source, view)) {
      EXPECT_EQ(view.faces, loaded.faces);
      EXPECT_TRUE(SameBox(view, MirroredZ(loaded)));
    }
    for (const auto& [name, type] : {std::pair{"out.obj", kObjType}, std::pair{"out.lwo", kLwo2Type},
                                     std::pair{"old.lwo", kLwobType}}) {
      SCOPED_TRACE(name);
      TempDir temp;
      const std::string written = temp.File(name);
      ASSERT_EQ(Convert(source, kLwobType, nullptr, written, type), 1);
      std::vector<Triangle> again;
      ASSERT_EQ(Convert(written, type, &again), 1);
      EXPECT_EQ(again.size(), ours.size());
      EXPECT_TRUE(SameBox(ReportOf(again), loaded));
      if (!assimp) continue;
      if (type == kLwobType) {
        if (!AssimpReads(written, view)) continue;
      } else {
        view = AssimpReportOf(written);
        ASSERT_TRUE(view.read) << "assimp cannot read " << written;
      }
      EXPECT_EQ(view.faces, loaded.faces);
      // Our OBJ files keep the LightWave coordinates as they are.
      const AssimpReport expected = type == kObjType ? loaded : MirroredZ(loaded);
      EXPECT_TRUE(SameBox(view, expected)) << view.box[0] << " " << view.box[1] << " " << view.box[2] << " / "
                                         << view.box[3] << " " << view.box[4] << " " << view.box[5];
    }
  }
  if (!assimp) GTEST_SKIP() << "assimp is not installed: its reading was not compared";
}

}  // namespace
}  // namespace zepcon::test
