#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <set>

#include "formats3d/lwo_helpers.h"

namespace zepcon::test {
namespace {

// Reads the form's variable-length indexes: two bytes, or four whose first
// is 0xFF.
uint32_t ReadVx(const std::vector<uint8_t>& body, size_t& at) {
  if (body.at(at) == 0xFF) {
    const uint32_t value = LoadBe32(&body.at(at)) & 0x00FFFFFFu;
    at += 4;
    return value;
  }
  const uint32_t value = LoadBe16(&body.at(at));
  at += 2;
  return value;
}

// The polygons of a "POLS" body of the given type.
std::vector<std::vector<uint32_t>> PolygonsOf(const ChunkView& pols, const char* type) {
  EXPECT_EQ(std::string(pols.body.begin(), pols.body.begin() + 4), type);
  std::vector<std::vector<uint32_t>> polygons;
  size_t at = 4;
  while (at < pols.body.size()) {
    const uint32_t count = LoadBe16(&pols.body.at(at)) & 0x03FF;
    at += 2;
    std::vector<uint32_t>& corners = polygons.emplace_back();
    for (uint32_t k = 0; k < count; ++k) corners.push_back(ReadVx(pols.body, at));
  }
  EXPECT_EQ(at, pols.body.size());
  return polygons;
}

// (index, tag) pairs of a "PTAG" body.
std::vector<std::pair<uint32_t, uint32_t>> TagsOf(const ChunkView& ptag) {
  std::vector<std::pair<uint32_t, uint32_t>> tags;
  size_t at = 4;
  while (at < ptag.body.size()) {
    const uint32_t index = ReadVx(ptag.body, at);
    tags.emplace_back(index, LoadBe16(&ptag.body.at(at)));
    at += 2;
  }
  return tags;
}

const ChunkView* FirstOfType(const std::vector<ChunkView>& chunks, const char* id, const char* type) {
  for (const ChunkView& c : chunks)
    if (c.id == id && c.body.size() >= 4 && std::memcmp(c.body.data(), type, 4) == 0) return &c;
  return nullptr;
}

struct Written {
  int result;
  std::vector<ChunkView> chunks;
};

Written SaveLater(ModelData& m) {
  Written w;
  std::string text;
  w.result = RunOnFile(m, SaveLwo2, text);
  if (w.result == 1) {
    EXPECT_EQ(text.substr(8, 4), "LWO2");
    w.chunks = ChunksOf(text);
  }
  return w;
}

// A square of two triangles in one object "body".
void Square(ModelData& m) {
  m.SetModelOrientation(2, 4, 1);
  for (int v = 0; v < 4; ++v) m.StoreVertex(v % 2, v / 2, 0);
  const uint32_t a[3] = {0, 1, 2}, b[3] = {1, 3, 2};
  m.StorePolygon(3, a);
  m.StorePolygon(3, b);
  m.SetObjectName("body");
  m.FinishObjects();
}

TEST(Lwo2Saver, OneObjectWithWeightMapAndWhiteSurface) {
  FreshModel fresh;
  ModelData& m = fresh.model;
  Square(m);
  m.settings.save_weightmaps = 1;
  m.settings.smoothing_angle = 89.53f;
  const Written w = SaveLater(m);
  ASSERT_EQ(w.result, 1);
  const std::vector<std::string> tags = PaddedStrings(ChunksNamed(w.chunks, "TAGS").at(0).body);
  // The object's weight map name first, then the one surface.
  EXPECT_EQ(tags, (std::vector<std::string>{"body", "white material"}));
  const ChunkView* weights = FirstOfType(w.chunks, "VMAP", "WGHT");
  ASSERT_NE(weights, nullptr);
  EXPECT_EQ(FirstOfType(w.chunks, "VMAP", "PICK"), nullptr);
  EXPECT_EQ(LoadBe16(&weights->body[4]), 1u);
  EXPECT_EQ(PaddedStrings(weights->body, 6)[0], "body");
  size_t at = 12;  // type, dimension, "body" padded
  std::set<uint32_t> weighted;
  while (at < weights->body.size()) {
    weighted.insert(ReadVx(weights->body, at));
    EXPECT_EQ(FloatFromBits(LoadBe32(&weights->body[at])), 100.0f);
    at += 4;
  }
  EXPECT_EQ(weighted, (std::set<uint32_t>{0, 1, 2, 3}));

  const std::vector<std::vector<uint32_t>> faces = PolygonsOf(ChunksNamed(w.chunks, "POLS").at(0), "FACE");
  ASSERT_EQ(faces.size(), 2u);
  const ChunkView* surfaces = FirstOfType(w.chunks, "PTAG", "SURF");
  ASSERT_NE(surfaces, nullptr);
  // Tag 1: the surface tags follow the one weight map name.
  EXPECT_EQ(TagsOf(*surfaces), (std::vector<std::pair<uint32_t, uint32_t>>{{0, 1}, {1, 1}}));
  const std::vector<ChunkView> surf = ChunksNamed(w.chunks, "SURF");
  ASSERT_EQ(surf.size(), 1u);
  EXPECT_EQ(PaddedStrings(surf[0].body)[0], "white material");
  const auto angle = std::search(surf[0].body.begin(), surf[0].body.end(), "SMAN", "SMAN" + 4);
  ASSERT_NE(angle, surf[0].body.end());
  EXPECT_EQ(LoadBe16(&*(angle + 4)), 4u);
  EXPECT_EQ(FloatFromBits(LoadBe32(&*(angle + 6))), static_cast<float>(89.53f * 0.017453292));
}

// Two textured materials sharing the texture "wood": one pair of clips
// (colour and alpha picture), and every surface's blocks name them.
TEST(Lwo2Saver, SharedTextureClipsAndBlocks) {
  FreshModel fresh;
  ModelData& m = fresh.model;
  Square(m);
  m.settings.save_weightmaps = 0;
  m.settings.smoothing_angle = -1.0f;
  const int32_t wood = m.CreateEmptyTexture("maps/wood.png");
  ASSERT_EQ(wood, 0);
  for (const char* name : {"oak", "pine"}) {
    m.ResetMaterial();
    m.SetMaterialName(name);
    m.material.texture = wood;
    m.AddMaterial();
  }
  m.poly_materials_present = 1;
  m.SetPolygonMaterial(0, 0);
  m.SetPolygonMaterial(1, 1);
  m.vert_texcoords_present = 1;
  for (uint32_t v = 0; v < 4; ++v) m.SetVertexTexcoord(v, v % 2, 0.25);
  const Written w = SaveLater(m);
  ASSERT_EQ(w.result, 1);
  const std::vector<ChunkView> clips = ChunksNamed(w.chunks, "CLIP");
  ASSERT_EQ(clips.size(), 2u);
  for (uint32_t k = 0; k < 2; ++k) {
    EXPECT_EQ(LoadBe32(clips[k].body.data()), k + 1);
    EXPECT_EQ(std::string(clips[k].body.begin() + 4, clips[k].body.begin() + 8), "STIL");
    EXPECT_EQ(PaddedStrings(clips[k].body, 10)[0], k == 0 ? "wood.tga" : "wood_a.tga");
  }
  EXPECT_EQ(PaddedStrings(ChunksNamed(w.chunks, "TAGS").at(0).body), (std::vector<std::string>{"oak", "pine"}));
  const std::vector<ChunkView> surfaces = ChunksNamed(w.chunks, "SURF");
  ASSERT_EQ(surfaces.size(), 2u);  // "white material" is used by no polygon
  for (const ChunkView& s : surfaces) {
    std::vector<uint32_t> images;
    for (auto at = s.body.begin(); (at = std::search(at, s.body.end(), "IMAG", "IMAG" + 4)) != s.body.end(); at += 4)
      images.push_back(LoadBe16(&*(at + 6)));
    EXPECT_EQ(images, (std::vector<uint32_t>{1, 2}));
    // The sizes add up: the blocks fill the surface to its end.
    const auto block = std::search(s.body.begin(), s.body.end(), "BLOK", "BLOK" + 4);
    ASSERT_NE(block, s.body.end());
    const size_t first = LoadBe16(&*(block + 4));
    EXPECT_EQ(first, 202u);
    EXPECT_EQ(LoadBe16(&*(block + 6 + static_cast<long>(first) + 4)), 208u);
    EXPECT_EQ(block + 6 + 202 + 6 + 208, s.body.end());
  }
  const ChunkView* uv = FirstOfType(w.chunks, "VMAP", "TXUV");
  ASSERT_NE(uv, nullptr);
  EXPECT_EQ(PaddedStrings(uv->body, 6)[0], "Texture");
  size_t at = 14;
  uint32_t entries = 0;
  while (at < uv->body.size()) {
    ReadVx(uv->body, at);
    EXPECT_EQ(FloatFromBits(LoadBe32(&uv->body[at + 4])), 0.75f);
    at += 8;
    ++entries;
  }
  // Shared corners were given to each material's object of their own.
  EXPECT_EQ(entries, m.vertexs_count);
  EXPECT_GE(entries, 4u);
}

// Points beyond 0xFEFF are named with four bytes: a strip of 70000
// triangles is written whole and every index reads back in range.
TEST(Lwo2Saver, LargeIndexesUseFourBytes) {
  FreshModel fresh;
  ModelData& m = fresh.model;
  m.SetModelOrientation(2, 4, 1);
  constexpr uint32_t kVertexs = 70002;
  for (uint32_t v = 0; v < kVertexs; ++v) m.StoreVertex(v, v % 2, 0);
  for (uint32_t t = 0; t < kVertexs - 2; ++t) {
    const uint32_t corners[3] = {t, t + 1, t + 2};
    m.StorePolygon(3, corners);
  }
  m.FinishObjects();
  m.settings.save_weightmaps = 0;
  const Written w = SaveLater(m);
  ASSERT_EQ(w.result, 1);
  const uint32_t points = static_cast<uint32_t>(ChunksNamed(w.chunks, "PNTS").at(0).body.size() / 12);
  EXPECT_GE(points, kVertexs);
  const std::vector<std::vector<uint32_t>> faces = PolygonsOf(ChunksNamed(w.chunks, "POLS").at(0), "FACE");
  ASSERT_EQ(faces.size(), kVertexs - 2);
  uint32_t highest = 0;
  for (const auto& face : faces)
    for (uint32_t v : face) {
      ASSERT_LT(v, points);
      highest = std::max(highest, v);
    }
  EXPECT_GE(highest, 0xFF00u);
  const std::vector<std::pair<uint32_t, uint32_t>> tags = TagsOf(*FirstOfType(w.chunks, "PTAG", "SURF"));
  ASSERT_EQ(tags.size(), faces.size());
  EXPECT_EQ(tags.back().first, kVertexs - 3);
}

// Bones become two-point polygons on the joints, which follow the
// vertices among the points; with weight maps the bone, part and
// bone-object tags name the right strings.
TEST(Lwo2Saver, SkeletonAsBonePolygons) {
  FreshModel fresh;
  ModelData& m = fresh.model;
  Square(m);
  const int32_t hip = m.AddJoint(0, 1, 0, "hip");
  const int32_t knee = m.AddJoint(0, 2, 0, "knee");
  ASSERT_GE(m.AddBone(0, static_cast<int16_t>(hip), 1.0), 0);
  ASSERT_GE(m.AddBone(static_cast<int16_t>(hip), static_cast<int16_t>(knee), 1.0), 0);
  m.SetBoneName(0, "thigh");
  m.SetBoneName(1, "shin");
  ObjectRecord object{};
  ASSERT_EQ(m.GetObjectInfo(0, &object), 1);
  object.owner = 1;
  ASSERT_EQ(m.SetObjectInfo(0, &object), 1);
  m.settings.save_weightmaps = 1;
  const Written w = SaveLater(m);
  ASSERT_EQ(w.result, 1);
  const uint32_t vertexs = 4, joints = m.joints_count;
  EXPECT_EQ(ChunksNamed(w.chunks, "PNTS").at(0).body.size(), 12u * (vertexs + joints));
  EXPECT_EQ(PaddedStrings(ChunksNamed(w.chunks, "TAGS").at(0).body),
            (std::vector<std::string>{"body", "thigh", "shin", "thigh", "shin", "white material"}));
  const std::vector<ChunkView> pols = ChunksNamed(w.chunks, "POLS");
  ASSERT_EQ(pols.size(), 2u);
  EXPECT_EQ(PolygonsOf(pols[1], "BONE"),
            (std::vector<std::vector<uint32_t>>{{vertexs, vertexs + static_cast<uint32_t>(hip)},
                                                {vertexs + static_cast<uint32_t>(hip), vertexs + static_cast<uint32_t>(knee)}}));
  using Tags = std::vector<std::pair<uint32_t, uint32_t>>;
  EXPECT_EQ(TagsOf(*FirstOfType(w.chunks, "PTAG", "SURF")), (Tags{{0, 5}, {1, 5}}));
  EXPECT_EQ(TagsOf(*FirstOfType(w.chunks, "PTAG", "BNWT")), (Tags{{1, 0}}));
  EXPECT_EQ(TagsOf(*FirstOfType(w.chunks, "PTAG", "BONE")), (Tags{{0, 1}, {1, 2}}));
  EXPECT_EQ(TagsOf(*FirstOfType(w.chunks, "PTAG", "PART")), (Tags{{0, 3}, {1, 4}}));
}

// Real OBJ, 3DS and MD3 models converted to LWO2: assimp reads the same
// triangles and extent as we hold once turned to LightWave's axes, the
// surfaces of the materials polygons use, and the textures by name.
TEST(Lwo2Corpus, ConversionsReadBackByAssimp) {
  if (!HaveProgram("assimp")) GTEST_SKIP() << "assimp is not installed";
  const struct {
    const char* folder;
    int type;
  } sources[] = {{"models/obj/", kObjType}, {"models/3ds/", k3dsType}, {"models/md3/", 22}};
  size_t files = 0, textured = 0;
  for (const auto& source : sources)
    for (const CorpusEntry& entry : CorpusFiles(source.folder)) {
      if (entry.expected_type != source.type) continue;
      SCOPED_TRACE(entry.path);
      const std::string path = (CorpusDir() / entry.path).string();
      const AssimpReport expected = LightWaveViewOf(path, source.type);
      if (expected.faces <= 0) continue;
      ++files;
      // The names of the surfaces written, and what tells them apart once
      // names are left aside (assimp merges surfaces that differ only in
      // name): colour and texture.
      std::set<std::string> used_names, distinct, texture_files;
      ASSERT_EQ(LoadThroughPipeline(path, source.type, [&](ModelData& m) {
                  m.relative_reads = 0;
                  for (uint32_t p = 0; p < m.polygons_count; ++p) {
                    const int32_t i = m.poly_materials_present ? m.GetPolygonMaterial(p) : kNoMaterial;
                    // Polygons without a material are written on the white surface.
                    if (i < 0 || !m.GetMaterial(static_cast<uint32_t>(i))) m.ResetMaterial();
                    if (i < 0) m.SetMaterialName("white material");
                    const MaterialRecord& r = m.material;
                    used_names.insert(r.name);
                    std::string key = std::to_string(r.diffuse[0]) + "," + std::to_string(r.diffuse[1]) + "," +
                                      std::to_string(r.diffuse[2]);
                    if (r.texture >= 0) {
                      const std::string file =
                          std::string(m.Texture(static_cast<uint32_t>(r.texture)).base_name) + ".tga";
                      texture_files.insert(file);
                      key += " " + file;
                    }
                    distinct.insert(key);
                  }
                }),
                1);
      TempDir temp;
      const std::string written = temp.File("out.lwo");
      ASSERT_EQ(Convert(path, source.type, nullptr, written, kLwo2Type), 1);
      const AssimpReport view = AssimpReportOf(written);
      ASSERT_TRUE(view.read) << "assimp cannot read " << written;
      EXPECT_EQ(view.faces, expected.faces);
      EXPECT_TRUE(SameBox(view, expected)) << view.box[0] << " " << view.box[1] << " " << view.box[2] << " / "
                                           << view.box[3] << " " << view.box[4] << " " << view.box[5];
      const AssimpNames names = AssimpNamesOf(written);
      EXPECT_EQ(names.materials.size(), distinct.size());
      for (const std::string& name : names.materials) EXPECT_EQ(used_names.count(name), 1u) << name;
      for (const std::string& file : texture_files) {
        EXPECT_NE(std::find(names.textures.begin(), names.textures.end(), file), names.textures.end()) << file;
        EXPECT_TRUE(std::filesystem::exists(temp.Path() / file)) << file;
      }
      if (!texture_files.empty() && used_names.size() > 1) ++textured;
    }
  if (files == 0) GTEST_SKIP() << "corpus not present";
  EXPECT_GE(textured, 1u) << "no textured multi-material model among the sources";
}

// ---- Loading ------------------------------------------------------------------

// Two layers. The front one: a quad on surface "red" and a triangle on
// "ghost" (a tag no surface defines), texture coordinates per point. The
// back one: a triangle on "blue", whose corner at its second point has a
// coordinate of its own (VMAD), and a bone. "blue" takes its colour image
// from clip 1.
Iff TwoLayerFile() {
  Iff f;
  f.Begin("FORM").Id("LWO2");
  f.Begin("TAGS").Z("red").Z("blue").Z("ghost").End();
  f.Begin("LAYR").U16(0).U16(0).F32(0).F32(0).F32(0).Z("front").End();
  f.Begin("PNTS");
  const float front[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  for (const auto& p : front) f.F32(p[0]).F32(p[1]).F32(p[2]);
  f.End();
  f.Begin("VMAP").Id("TXUV").U16(2).Z("uv").U16(0).F32(0.25f).F32(0.75f).U16(2).F32(1).F32(0).End();
  f.Begin("POLS").Id("FACE").U16(4).U16(0).U16(1).U16(2).U16(3).U16(3).U16(0).U16(1).U16(2).End();
  f.Begin("PTAG").Id("SURF").U16(0).U16(0).U16(1).U16(2).End();
  f.Begin("PTAG").Id("PART").U16(0).U16(1).End();
  f.Begin("LAYR").U16(1).U16(0).F32(0).F32(0).F32(0).Z("back").End();
  f.Begin("PNTS");
  const float back[3][3] = {{0, 0, 5}, {2, 0, 5}, {0, 2, 5}};
  for (const auto& p : back) f.F32(p[0]).F32(p[1]).F32(p[2]);
  f.End();
  f.Begin("POLS").Id("FACE").U16(3).U16(0).U16(1).U16(2).End();
  f.Begin("PTAG").Id("SURF").U16(0).U16(1).End();
  // A bone list and its tags: they name the bone, not the face of the same
  // number, and the corner map below still names the faces.
  f.Begin("POLS").Id("BONE").U16(2).U16(0).U16(1).End();
  f.Begin("PTAG").Id("SURF").U16(0).U16(0).End();
  f.Begin("VMAD").Id("TXUV").U16(2).Z("uv").U16(1).U16(0).F32(0.5f).F32(0.125f).End();
  f.Begin("CLIP").U32(1).Sub("STIL", {'t', 'e', 'x', '.', 't', 'g', 'a', 0}).End();
  f.Begin("SURF").Z("blue").Z("");
  f.Sub("COLR", {0, 0, 0, 0, 0, 0, 0, 0, 0x3F, 0x80, 0, 0, 0, 0}).Sub("TRAN", {0x3F, 0, 0, 0, 0, 0});
  // Block: IMAP header (ordinal 0x80, CHAN COLR), then the image.
  f.Sub("BLOK", {'I', 'M', 'A', 'P', 0, 12, 0x80, 0, 'C', 'H', 'A', 'N', 0, 4, 'C', 'O', 'L', 'R',
                 'I', 'M', 'A', 'G', 0, 2, 0, 1});
  f.End();
  f.Begin("SURF").Z("red").Z("").Sub("COLR", {0x3F, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).End();
  f.End();
  return f;
}

std::string MaterialNameOf(ModelData& m, uint32_t polygon) {
  const int32_t i = m.GetPolygonMaterial(polygon);
  if (i < 0 || !m.GetMaterial(static_cast<uint32_t>(i))) return "-";
  return m.material.name;
}

TEST(Lwo2Loader, LayersMapsSurfacesAndClips) {
  TempDir temp;
  WriteBytes(temp.Path() / "tex.tga", TinyTarga(2, 2, 77));
  const std::string path = temp.File("two.lwo");
  WriteBytes(path, TwoLayerFile().bytes);
  LogCapture log;
  ASSERT_EQ(LoadThroughPipeline(path, kLwo2Type, [&](ModelData& m) {
              m.relative_reads = 0;
              ASSERT_EQ(m.vertexs_count, 7u);
              ASSERT_EQ(m.polygons_count, 3u);
              EXPECT_EQ(PolygonPoints(m, 2), (std::vector<uint32_t>{4, 5, 6}));
              ASSERT_EQ(m.objects_count, 2u);
              ObjectRecord front{}, back{};
              ASSERT_TRUE(m.GetObjectInfo(0, &front) && m.GetObjectInfo(1, &back));
              EXPECT_STREQ(front.name, "front");
              EXPECT_STREQ(back.name, "back");
              EXPECT_EQ(back.first_vertex, 4u);
              EXPECT_EQ(MaterialNameOf(m, 0), "red");
              EXPECT_EQ(m.material.diffuse[0], 255);
              EXPECT_EQ(m.material.texture, -1);
              EXPECT_EQ(MaterialNameOf(m, 1), "ghost");
              EXPECT_EQ(MaterialNameOf(m, 2), "blue");
              EXPECT_EQ(m.material.diffuse[2], 255);
              EXPECT_EQ(m.material.transparency, 127);
              ASSERT_GE(m.material.texture, 0);
              EXPECT_STREQ(m.Texture(static_cast<uint32_t>(m.material.texture)).base_name, "tex");
              double u = 0, v = 0;
              ASSERT_TRUE(m.GetVertexTexcoord(0, u, v));
              EXPECT_DOUBLE_EQ(u, 0.25);
              EXPECT_DOUBLE_EQ(v, 0.25);
              uint32_t first = 0, count = 0;
              ASSERT_TRUE(m.ReadPolygonPointData(2, first, count));
              ASSERT_EQ(m.GetPointVertex(first + 1), 5u);
              ASSERT_TRUE(m.GetPointTexcoord(first + 1, u, v));
              EXPECT_DOUBLE_EQ(u, 0.5);
              EXPECT_DOUBLE_EQ(v, 0.875);
            }),
            1);
  for (const char* line : {"Loading LightWave 6+ object...", " Redirecting material indexes...", "... lwo 6+ loaded"})
    EXPECT_TRUE(log.Contains(line)) << line;
  EXPECT_EQ(log.ErrorText(), "");
}

TEST(Lwo2Loader, HostileFilesAreLoggedAndSurvived) {
  const std::vector<uint8_t> good = TwoLayerFile().bytes;
  const auto find = [&good](const std::string& id) {
    return static_cast<size_t>(std::search(good.begin(), good.end(), id.begin(), id.end()) - good.begin());
  };
  const auto with = [&good](size_t at, std::vector<uint8_t> bytes) {
    std::vector<uint8_t> changed = good;
    std::copy(bytes.begin(), bytes.end(), changed.begin() + static_cast<long>(at));
    return changed;
  };
  const size_t pols = find("POLS"), vmap = find("VMAP"), vmad = find("VMAD");
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    int result;
    const char* logged;
    uint32_t polygons;
  };
  std::vector<uint8_t> not_lwo2 = with(8, {'L', 'W', 'O', 'X'});
  const Case cases[] = {
      {"polygon chunk longer than its FORM", with(pols + 4, {0x7F, 0xFF, 0xFF, 0xF0}), 1, "runs past the end", 2},
      {"point count larger than the file", with(pols + 12, {0x03, 0xFF}), 1, "ends inside a polygon", 1},
      {"index past the points", with(pols + 14, {0, 9}), 1, "naming points the layer does not have", 2},
      {"four-byte index past the points", with(pols + 14, {0xFF, 0, 0, 9}), 1, "naming points the layer does not have", 2},
      {"texture map naming a missing point", with(vmap + 18, {0, 40}), 1, "naming missing points", 3},
      {"corner map naming a missing polygon", with(vmad + 20, {0, 7}), 1, "naming missing points", 3},
      {"FORM of the older form", with(8, {'L', 'W', 'O', 'B'}), 0, "is not an LWO2 object", 0},
      {"other FORM type", not_lwo2, 0, "is not an LWO2 object", 0},
      {"no FORM at all", std::vector<uint8_t>{'P', 'N', 'T', 'S', 0, 0, 0, 0}, 0, "does not begin with a FORM", 0},
      {"empty file", {}, 0, "does not begin with a FORM", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshModel fresh;
    LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(LoadFromBytes(fresh.model, LoadLwo2, c.bytes), c.result);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(log.Contains(c.logged)) << log.Text();
    EXPECT_EQ(fresh.model.polygons_count, c.polygons);
    EXPECT_EQ(fresh.model.CheckModel(), 1);
    for (uint32_t p = 0; p < fresh.model.polygons_count; ++p)
      for (uint32_t v : PolygonPoints(fresh.model, p)) ASSERT_LT(v, fresh.model.vertexs_count);
  }
}

TEST(Lwo2Loader, EveryCutOfAValidFileFailsOrLoadsWithAReason) {
  ExpectEveryCutLoadsOrFailsWithReason(TwoLayerFile().bytes, LoadLwo2);
}

// Our own LWO2 file read back: the same triangles, material names and
// colours, texture names and texture coordinates.
TEST(Lwo2RoundTrip, KeepsGeometryMaterialsTexturesAndCoordinates) {
  TempDir in, out;
  WriteBytes(in.Path() / "tex.tga", TinyTarga(2, 2, 77));
  const std::string source = in.File("two.lwo");
  WriteBytes(source, TwoLayerFile().bytes);
  const std::string written = out.File("again.lwo");
  ASSERT_EQ(Convert(source, kLwo2Type, nullptr, written, kLwo2Type), 1);
  std::vector<Triangle> before, after;
  ASSERT_EQ(Convert(source, kLwo2Type, &before), 1);
  ASSERT_EQ(Convert(written, kLwo2Type, &after), 1);
  ASSERT_EQ(after.size(), before.size());
  for (size_t t = 0; t < before.size(); ++t)
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(after[t][k], before[t][k], 1e-6) << t;
  // Per triangle: material name, colour, texture and the coordinates of
  // its corners (by point where given, else by vertex).
  std::string seen[2];
  for (int pass = 0; pass < 2; ++pass)
    ASSERT_EQ(LoadThroughPipeline(pass == 0 ? source : written, kLwo2Type, [&](ModelData& m) {
                ASSERT_TRUE(m.TriangulatePolygons());
                m.relative_reads = 0;
                for (uint32_t p = 0; p < m.polygons_count; ++p) {
                  seen[pass] += MaterialNameOf(m, p);
                  const MaterialRecord& r = m.material;
                  seen[pass] += " " + std::to_string(r.diffuse[0]) + "," + std::to_string(r.diffuse[1]) + "," +
                                std::to_string(r.diffuse[2]) + " " +
                                (r.texture >= 0 ? m.Texture(static_cast<uint32_t>(r.texture)).base_name : "-");
                  uint32_t first = 0, count = 0;
                  ASSERT_TRUE(m.ReadPolygonPointData(p, first, count));
                  for (uint32_t k = 0; k < count; ++k) {
                    double u = kUnsetValue, v = kUnsetValue;
                    if (!(m.point_texcoords_present && m.GetPointTexcoord(first + k, u, v) && u != kUnsetValue))
                      m.GetVertexTexcoord(m.GetPointVertex(first + k), u, v);
                    char text[64];
                    std::snprintf(text, sizeof text, " %.4g/%.4g", u == kUnsetValue ? -1.0 : u,
                                  v == kUnsetValue ? -1.0 : v);
                    seen[pass] += text;
                  }
                  seen[pass] += "\n";
                }
              }),
              1);
  EXPECT_EQ(seen[1], seen[0]);
  EXPECT_NE(seen[0].find("blue 0,0,255 tex"), std::string::npos) << seen[0];
  EXPECT_NE(seen[0].find("0.5/0.875"), std::string::npos) << seen[0];
}

// Every LWO2 file of the corpus loads; assimp reads the same triangles and
// extent in the source (mirrored) and in our OBJ conversion, and our LWO2
// conversion reads back with the same triangles.
TEST(Lwo2Corpus, EveryFileLoadsAndConvertsAsAssimpReadsIt) {
  std::vector<CorpusEntry> files;
  for (const CorpusEntry& entry : CorpusFiles("models/lwo/"))
    if (entry.expected_type == kLwo2Type) files.push_back(entry);
  if (files.empty()) GTEST_SKIP() << "corpus not present";
  ASSERT_GE(files.size(), 8u);
  const bool assimp = HaveProgram("assimp");
  for (const CorpusEntry& entry : files) {
    SCOPED_TRACE(entry.path);
    const std::string source = (CorpusDir() / entry.path).string();
    std::vector<Triangle> ours;
    ASSERT_EQ(Convert(source, kLwo2Type, &ours), 1);
    ASSERT_FALSE(ours.empty());
    const AssimpReport loaded = ReportOf(ours);
    // assimp drops polygons of no area. This file holds one: 24 point
    // indexes, all points at one position, which we keep as 22 triangles.
    const double no_area = entry.path.find("UglyVertexColors") != std::string::npos ? 22 : 0;
    AssimpReport source_view;
    if (assimp) {
      source_view = AssimpReportOf(source);
      ASSERT_TRUE(source_view.read);
      EXPECT_EQ(source_view.faces, loaded.faces - no_area);
      EXPECT_TRUE(SameBox(source_view, MirroredZ(loaded)));
    }
    for (const auto& [name, type] : {std::pair{"out.obj", kObjType}, std::pair{"out.lwo", kLwo2Type}}) {
      SCOPED_TRACE(name);
      TempDir temp;
      const std::string written = temp.File(name);
      ASSERT_EQ(Convert(source, kLwo2Type, nullptr, written, type), 1);
      std::vector<Triangle> again;
      ASSERT_EQ(Convert(written, type, &again), 1);
      EXPECT_EQ(again.size(), ours.size());
      EXPECT_TRUE(SameBox(ReportOf(again), loaded));
      if (!assimp || type != kObjType) continue;
      const AssimpReport view = AssimpReportOf(written);
      ASSERT_TRUE(view.read) << "assimp cannot read " << written;
      EXPECT_EQ(view.faces, source_view.faces);
      // Our OBJ files keep the LightWave coordinates as they are.
      EXPECT_TRUE(SameBox(view, loaded) && SameBox(MirroredZ(view), source_view)) << view.box[0] << " " << view.box[1] << " " << view.box[2] << " / "
                                         << view.box[3] << " " << view.box[4] << " " << view.box[5];
    }
  }
  if (!assimp) GTEST_SKIP() << "assimp is not installed: its reading was not compared";
}

}  // namespace
}  // namespace zepcon::test
