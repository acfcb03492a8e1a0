#include <gtest/gtest.h>

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

}  // namespace
}  // namespace zepcon::test
