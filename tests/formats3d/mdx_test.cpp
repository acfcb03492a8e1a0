#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>

#include "formats3d/games_helpers.h"
#include "formats3d/model_codec_helpers.h"

namespace zepcon::test {
namespace {

constexpr int kMdxType = 32;

uint32_t TagOf(const char* tag) { return LoadLe32(reinterpret_cast<const uint8_t*>(tag)); }

Bytes& Chunk(Bytes& file, const char* tag, const Bytes& body) {
  file.Text(tag, 4).U32(static_cast<uint32_t>(body.Size()));
  return file.Raw(body.data);
}

struct Key {
  int32_t time;
  std::vector<float> value;
};

Bytes Track(const char* tag, uint32_t interpolation, const std::vector<Key>& keys) {
  Bytes b;
  b.Text(tag, 4).U32(static_cast<uint32_t>(keys.size())).U32(interpolation).U32(0xFFFFFFFF);
  for (const Key& k : keys) {
    b.U32(static_cast<uint32_t>(k.time));
    for (float f : k.value) b.F32(f);
  }
  return b;
}

Bytes Node(const std::string& name, uint32_t id, uint32_t parent, const Bytes& tracks) {
  Bytes b;
  b.U32(static_cast<uint32_t>(4 + 80 + 12 + tracks.Size())).Text(name, 80).U32(id).U32(parent).U32(0x100);
  return b.Raw(tracks.data);
}

struct HandGeoset {
  std::vector<std::array<float, 3>> vertexs;
  std::vector<uint16_t> triangles;
  std::vector<uint8_t> groups;
  std::vector<std::vector<uint32_t>> matrix_groups;
  uint32_t material = 0;
};

Bytes GeosetRecord(const HandGeoset& g) {
  Bytes b;
  const auto n = static_cast<uint32_t>(g.vertexs.size());
  b.Text("VRTX", 4).U32(n);
  for (const auto& v : g.vertexs) b.F32(v[0]).F32(v[1]).F32(v[2]);
  b.Text("NRMS", 4).U32(n);
  for (uint32_t i = 0; i < n; ++i) b.F32(0).F32(0).F32(1);
  b.Text("PTYP", 4).U32(1).U32(4);
  b.Text("PCNT", 4).U32(1).U32(static_cast<uint32_t>(g.triangles.size()));
  b.Text("PVTX", 4).U32(static_cast<uint32_t>(g.triangles.size()));
  for (uint16_t i : g.triangles) b.U16(i);
  b.Text("GNDX", 4).U32(static_cast<uint32_t>(g.groups.size())).Raw(g.groups);
  b.Text("MTGC", 4).U32(static_cast<uint32_t>(g.matrix_groups.size()));
  uint32_t total = 0;
  for (const auto& group : g.matrix_groups) {
    b.U32(static_cast<uint32_t>(group.size()));
    total += static_cast<uint32_t>(group.size());
  }
  b.Text("MATS", 4).U32(total);
  for (const auto& group : g.matrix_groups)
    for (uint32_t id : group) b.U32(id);
  b.U32(g.material).U32(0).U32(0);
  for (int i = 0; i < 7; ++i) b.F32(0);  // extent
  b.U32(0);                              // no sequence extents
  b.Text("UVAS", 4).U32(1).Text("UVBS", 4).U32(n);
  for (uint32_t i = 0; i < n; ++i) b.F32(0.25f * static_cast<float>(i)).F32(0.5f);
  Bytes record;
  record.U32(static_cast<uint32_t>(4 + b.Size())).Raw(b.data);
  return record;
}

// Two geosets (a triangle on the root bone, a quad on the child bone), one
// texture in a subfolder, one material, a geoset animation at half alpha,
// two bones and one sequence of two key times: the root moves by (1, 0, 0)
// and the child turns 90 degrees about x around its pivot (0, 0, 1).
std::vector<uint8_t> HandMadeMdx(const std::string& texture = "Textures\\Skin.tga") {
  Bytes file;
  file.Text("MDLX", 4);
  Chunk(file, "VERS", Bytes().U32(800));
  Bytes model;
  model.Text("handmade", 80).Text("", 260);
  for (int i = 0; i < 7; ++i) model.F32(0);
  Chunk(file, "MODL", model.U32(150));
  Bytes sequence;
  sequence.Text("Stand", 80).U32(0).U32(1000).F32(0).U32(0).F32(0).U32(0);
  for (int i = 0; i < 7; ++i) sequence.F32(0);
  Chunk(file, "SEQS", sequence);
  Bytes layer;
  layer.U32(28).U32(0).U32(0).U32(0).U32(0xFFFFFFFF).U32(0).F32(1.0f);
  Bytes material;
  material.U32(static_cast<uint32_t>(20 + layer.Size())).U32(0).U32(0).Text("LAYS", 4).U32(1).Raw(layer.data);
  Chunk(file, "MTLS", material);
  Chunk(file, "TEXS", Bytes().U32(0).Text(texture, 260).U32(0));
  HandGeoset body{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}, {0, 0, 0}, {{0}}, 0};
  HandGeoset arm{{{0, 0, 1}, {0, 0, 2}, {0, 1, 2}, {0, 1, 1}}, {0, 1, 2, 0, 2, 3}, {0, 0, 0, 0}, {{2}}, 0};
  Bytes geosets;
  geosets.Raw(GeosetRecord(body).data).Raw(GeosetRecord(arm).data);
  Chunk(file, "GEOS", geosets);
  Chunk(file, "GEOA", Bytes().U32(28).F32(0.5f).U32(0).F32(1).F32(1).F32(1).U32(1));
  Bytes root = Node("Root", 0, 0xFFFFFFFF, Track("KGTR", 1, {{0, {0, 0, 0}}, {1000, {1, 0, 0}}}));
  const float half = static_cast<float>(std::sqrt(0.5));
  // The arm's id is 2: id 1 belongs to a node kind not read (its pivot is not the arm's).
  Bytes child = Node("Arm", 2, 0, Track("KGRT", 1, {{0, {0, 0, 0, 1}}, {1000, {half, 0, 0, half}}}));
  Bytes bones;
  bones.Raw(root.data).U32(0).U32(0xFFFFFFFF).Raw(child.data).U32(1).U32(0xFFFFFFFF);
  Chunk(file, "BONE", bones);
  Chunk(file, "PIVT", Bytes().F32(0).F32(0).F32(0).F32(9).F32(9).F32(9).F32(0).F32(0).F32(1));
  Chunk(file, "CLID", Bytes().U32(5));  // unread chunks are passed
  return file.data;
}

std::vector<double> FramePosition(ModelData& model, float frame, uint32_t v) {
  model.relative_reads = 0;
  double x = -99, y = -99, z = -99;
  EXPECT_EQ(model.Animation_GetVertexPos(frame, v, x, y, z), 1);
  return {x, y, z};
}

void ExpectNear(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], want[k], 1e-6) << "component " << k;
}

// Geosets become objects, the material takes the texture and the geoset
// animation's alpha, the nodes become a skeleton, and the skinning is
// posed at each key time: a vertex at the child's pivot lands where the
// moved root carries the child's joint.
TEST(MdxLoader, GeosetsMaterialsSkeletonAndPosedFrames) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path() / "textures");
  WriteBytes(dir.Path() / "textures" / "skin.TGA", TinyTarga(2, 2, 90));
  const std::string path = dir.File("hand.mdx");
  WriteBytes(path, HandMadeMdx());
  LogCapture log;
  ASSERT_EQ(LoadThroughPipeline(path, kMdxType, [](ModelData& m) {
              EXPECT_EQ(m.vertexs_count, 7u);
              EXPECT_EQ(m.polygons_count, 3u);
              ASSERT_EQ(m.objects_count, 2u);
              ObjectRecord object{};
              m.GetObjectInfo(1, &object);
              EXPECT_EQ(object.first_vertex, 3u);
              EXPECT_EQ(object.polygon_count, 2u);
              ASSERT_EQ(m.textures_count, 1u);
              EXPECT_EQ(m.Texture(0).kind, 0u);
              EXPECT_EQ(m.Texture(0).width, 2u);
              // One file material, seen opaque by the first geoset and at
              // half alpha by the second.
              ASSERT_EQ(m.materials_count, 2u);
              const int32_t first = m.GetPolygonMaterial(0), second = m.GetPolygonMaterial(1);
              ASSERT_NE(first, second);
              m.GetMaterial(static_cast<uint32_t>(first));
              EXPECT_EQ(m.material.transparency, 255);
              EXPECT_EQ(m.material.texture, 0);
              m.GetMaterial(static_cast<uint32_t>(second));
              EXPECT_EQ(m.material.transparency, 128);
              EXPECT_EQ(m.material.texture, 0);
              EXPECT_EQ(PolygonPoints(m, 2), (std::vector<uint32_t>{3, 5, 6}));
              double u = 0, v = 0;
              m.GetVertexTexcoord(4, u, v);
              EXPECT_EQ(u, 0.25);
              EXPECT_EQ(v, 0.5);
              // Skeleton: the root joint, then Root at (0,0,0) and Arm at (0,0,1).
              ASSERT_EQ(m.joints_count, 3u);
              ASSERT_EQ(m.bones_count, 2u);
              JointRecord joint{};
              m.GetJointInfo(2, &joint);
              EXPECT_STREQ(joint.name, "Arm");
              EXPECT_EQ(joint.position[2], 1.0);
              int16_t from = -1, to = -1;
              m.GetBoneJoints(1, from, to);
              EXPECT_EQ(from, 1);
              EXPECT_EQ(to, 2);
              EXPECT_EQ(m.GetVertexOwner(4), 1u);
              // Frames: the sequence's two key times, one segment.
              ASSERT_EQ(m.anim_frames_count, 2u);
              ASSERT_EQ(m.animation_segments_count, 1u);
              m.Animation_GetSegmentInfo(0);
              EXPECT_STREQ(m.animation_segment.name, "Stand");
              EXPECT_EQ(m.animation_segment.frames, 2u);
              for (uint32_t vertex = 0; vertex < 7; ++vertex) ExpectNear(FramePosition(m, 0, vertex), VertexAt(m, vertex));
              // Frame 1: the root moved by (1, 0, 0); the arm turned about x
              // around (0, 0, 1), then moved with the root.
              ExpectNear(FramePosition(m, 1, 1), {2, 0, 0});
              ExpectNear(FramePosition(m, 1, 3), {1, 0, 1});   // the Arm joint's place
              ExpectNear(FramePosition(m, 1, 4), {1, -1, 1});  // one unit beyond it
              ExpectNear(FramePosition(m, 1, 5), {1, -1, 2});
              ExpectNear(FramePosition(m, 0.5f, 4), {0.5, -0.5, 1.5});  // halfway between frames
            }),
            1);
  EXPECT_TRUE(log.Contains(" loading texture: [Textures\\Skin.tga]\n")) << log.Text();
}

// A missing texture leaves a placeholder; counts, sizes and blocks the
// file cannot hold fail the load with their reason.
TEST(MdxLoader, BrokenFilesFailWithTheirReason) {
  const std::vector<uint8_t> good = HandMadeMdx();
  const auto find = [&](const char* tag) {
    for (size_t at = 4; at + 8 <= good.size();) {
      if (LoadLe32(&good[at]) == TagOf(tag)) return at;
      at += 8 + LoadLe32(&good[at + 4]);
    }
    ADD_FAILURE() << tag;
    return size_t{0};
  };
  const auto with = [&](size_t at, uint32_t value) {
    Bytes b{good};
    b.PutU32At(at, value);
    return b.data;
  };
  const size_t geos = find("GEOS"), bone = find("BONE"), mtls = find("MTLS"), seqs = find("SEQS");
  std::vector<uint8_t> bad_magic = good;
  bad_magic[0] = 'X';
  std::vector<uint8_t> no_normals = good;
  std::memcpy(&no_normals[geos + 12 + 8 + 36], "NRMZ", 4);
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* error;
  } cases[] = {
      {"magic", bad_magic, "does not begin with MDLX"},
      {"empty", {}, "does not begin with MDLX"},
      {"chunk length", with(geos + 4, 0x7FFFFFF0), "chunk GEOS of 2147483632 bytes runs past the end"},
      {"sequences", with(seqs + 4, 131), "not whole records"},
      {"geoset size", with(geos + 8, 0xFFFFFFF0), "geoset record's size does not fit"},
      {"vertex count", with(geos + 16, 0x40000000), "VRTX block holds more than the geoset"},
      {"missing block", no_normals, "lacks its NRMS block"},
      {"layer size", with(mtls + 8 + 20, 4), "layer's size does not fit"},
      {"layers tag", with(mtls + 8 + 12, 0), "a material has no layers"},
      {"track keys", with(bone + 8 + 96 + 4, 0x10000000), "track holds more keys than its record"},
      {"node size", with(bone + 8, 20), "node's size does not fit"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FreshModel fresh;
    LogCapture log;
    EXPECT_EQ(LoadFromBytes(fresh.model, LoadMdx, c.bytes), 0);
    EXPECT_NE(log.ErrorText().find(c.error), std::string::npos) << log.ErrorText();
  }
}

TEST(MdxLoader, EveryCutOfASmallFileLoadsOrFailsWithAReason) {
  ExpectEveryCutLoadsOrFailsWithReason(HandMadeMdx(), LoadMdx);
}

TEST(MdxLoader, HandMadeFileConvertsToObjAnd3dsThatAssimpReads) {
  TempDir dir;
  const std::string path = dir.File("hand.mdx");
  WriteBytes(path, HandMadeMdx("missing.blp"));
  const ModelView seen = ExpectOffReadBackByAssimp(path, kMdxType);
  EXPECT_EQ(seen, (ModelView{3, 0, 0, 0, 1, 1, 2}));
  ExpectObjAnd3dsReadBackByAssimp(path, kMdxType);
}

// What the file's own structure says, walked independently of the loader:
// triangles of every geoset and the extent of the vertices they use.
struct FileView {
  double triangles = 0;
  double box[6] = {1e300, 1e300, 1e300, -1e300, -1e300, -1e300};
};

FileView WalkGeosets(const std::vector<uint8_t>& bytes) {
  FileView view;
  const std::map<std::string, size_t> item = {{"VRTX", 12}, {"NRMS", 12}, {"PTYP", 4}, {"PCNT", 4},
                                              {"PVTX", 2},  {"GNDX", 1},  {"MTGC", 4}, {"MATS", 4}};
  for (size_t at = 4; at + 8 <= bytes.size(); at += 8 + LoadLe32(&bytes[at + 4])) {
    if (LoadLe32(&bytes[at]) != TagOf("GEOS")) continue;
    const size_t end = at + 8 + LoadLe32(&bytes[at + 4]);
    for (size_t g = at + 8; g < end; g += LoadLe32(&bytes[g])) {
      std::map<std::string, std::pair<size_t, uint32_t>> blocks;  // start of items, count
      size_t p = g + 4;
      for (int k = 0; k < 8; ++k) {
        const std::string tag(reinterpret_cast<const char*>(&bytes[p]), 4);
        const uint32_t count = LoadLe32(&bytes[p + 4]);
        blocks[tag] = {p + 8, count};
        p += 8 + count * item.at(tag);
      }
      const auto [vertexs, vertex_count] = blocks["VRTX"];
      const auto [types, groups] = blocks["PTYP"];
      size_t index = blocks["PVTX"].first;
      for (uint32_t k = 0; k < groups; ++k) {
        const uint32_t n = LoadLe32(&bytes[blocks["PCNT"].first + 4 * k]);
        if (LoadLe32(&bytes[types + 4 * k]) == 4) {
          view.triangles += n / 3;
          for (uint32_t i = 0; i < n; ++i) {
            const uint16_t v = LoadLe16(&bytes[index + 2 * i]);
            EXPECT_LT(v, vertex_count);
            for (int c = 0; c < 3; ++c) {
              const double value = FloatFromBits(LoadLe32(&bytes[vertexs + 12 * v + 4 * c]));
              view.box[c] = std::min(view.box[c], value);
              view.box[3 + c] = std::max(view.box[3 + c], value);
            }
          }
        }
        index += 2 * n;
      }
    }
  }
  return view;
}

// Every real file loads: its triangles and extent are those the file's
// structure holds, and its OBJ and 3DS conversions read back the same.
TEST(MdxCorpus, EveryFileMatchesItsStructureAndConverts) {
  const std::vector<CorpusEntry> files = CorpusFiles("models/mdx/");
  int checked = 0;
  for (const CorpusEntry& entry : files) {
    if (entry.expected_type != kMdxType) continue;
    SCOPED_TRACE(entry.path);
    ++checked;
    const std::string source = (CorpusDir() / entry.path).string();
    const std::vector<uint8_t> bytes = ReadBytes(source);
    const FileView file = WalkGeosets(bytes);
    std::vector<Triangle> ours;
    ASSERT_EQ(Convert(source, kMdxType, &ours), 1);
    const AssimpReport loaded = ReportOf(ours);
    EXPECT_EQ(loaded.faces, file.triangles);
    if (!ours.empty()) {
      for (int k = 0; k < 6; ++k) EXPECT_NEAR(loaded.box[k], file.box[k], 1e-9) << "item " << k;
    }
  }
  if (files.empty()) GTEST_SKIP() << "no corpus";
  EXPECT_EQ(checked, 3);
  for (const CorpusEntry& entry : files)
    if (entry.expected_type == kMdxType) ExpectObjAnd3dsReadBackByAssimp((CorpusDir() / entry.path).string(), kMdxType);
  // The smiley's texture sits in a subfolder the file names; it is loaded, not a placeholder.
  FileConverter converter;
  ASSERT_EQ(converter.InitData(KIND_MODEL), 1);
  ASSERT_EQ(converter.LoadFile((CorpusDir() / "models/mdx/SmileyGW/SmileyGW_004.mdx").string().c_str(), kMdxType), 1);
  ASSERT_EQ(converter.Model().textures_count, 1u);
  EXPECT_EQ(converter.Model().Texture(0).kind, 0u);
  EXPECT_EQ(converter.Model().Texture(0).width, 256u);
  converter.DestroyData();
}

}  // namespace
}  // namespace zepcon::test
