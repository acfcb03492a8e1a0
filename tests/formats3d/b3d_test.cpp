#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "core/file_stream.h"
#include "formats3d/games_helpers.h"
#include "formats3d/model_codec_helpers.h"

namespace zepcon::test {
namespace {

constexpr int kB3dType = 3;

// The codecs take a stream; the shared helpers hand out a FILE*.
int LoadB3dFile(ModelData& model, FILE* file) {
  FileStream stream;
  stream.Attach(file, FileStream::kBinary, FileStream::kRead);
  const int result = LoadB3d(model, stream);
  stream.Detach();
  return result;
}

int SaveB3dFile(ModelData& model, FILE* file) {
  FileStream stream;
  stream.Attach(file, FileStream::kBinary, FileStream::kWrite);
  const int result = SaveB3d(model, stream);
  stream.Detach();
  return result;
}

// Builds chunk files: Open/Close nest, body lengths patched on closing.
class Chunks {
 public:
  Chunks& Open(const char* tag) {
    open_.push_back(bytes_.size());
    bytes_.append(tag, 4);
    return U32(0);
  }
  Chunks& Close() {
    const size_t start = open_.back();
    open_.pop_back();
    StoreLe32(reinterpret_cast<uint8_t*>(&bytes_[start + 4]), static_cast<uint32_t>(bytes_.size() - start - 8));
    return *this;
  }
  Chunks& U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<char>(v >> (8 * i)));
    return *this;
  }
  Chunks& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
  Chunks& F32(float f) { return U32(BitsOfFloat(f)); }
  Chunks& Floats(std::initializer_list<float> values) {
    for (float f : values) F32(f);
    return *this;
  }
  Chunks& Z(const char* s) {
    bytes_.append(s, std::strlen(s) + 1);
    return *this;
  }
  // A node's name and transform: position, scale, rotation w x y z.
  Chunks& Node(const char* name, float x, float y, float z, std::array<float, 4> rotation = {1, 0, 0, 0},
               float scale = 1) {
    Open("NODE").Z(name).Floats({x, y, z, scale, scale, scale});
    for (float r : rotation) F32(r);
    return *this;
  }
  std::string& Bytes() { return bytes_; }
  std::vector<uint8_t> Data() const { return {bytes_.begin(), bytes_.end()}; }

 private:
  std::string bytes_;
  std::vector<size_t> open_;
};

// A plain mesh: vertices of 20 bytes (position and one coordinate pair),
// one triangle list.
Chunks& Mesh(Chunks& c, const std::vector<std::array<float, 5>>& vertexs, const std::vector<uint32_t>& corners,
             int32_t brush = -1) {
  c.Open("MESH").I32(brush).Open("VRTS").I32(0).I32(1).I32(2);
  for (const auto& v : vertexs) c.Floats({v[0], v[1], v[2], v[3], v[4]});
  c.Close().Open("TRIS").I32(-1);
  for (uint32_t k : corners) c.U32(k);
  return c.Close().Close();
}

std::vector<double> At(ModelData& model, uint32_t v) { return VertexAt(model, v); }

void ExpectNear(const std::vector<double>& got, const std::vector<double>& want, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], want[k], 1e-5) << what << " item " << k;
}

// A triangle in a single node: one object, no joint beyond the root.
std::string SingleNodeFile() {
  Chunks c;
  c.Open("BB3D").U32(1).Node("only", 0, 0, 0);
  Mesh(c, {{{0, 0, 0, 0, 0}}, {{1, 0, 0, 1, 0}}, {{0, 1, 0, 0, 1}}}, {0, 1, 2});
  c.Close().Close();
  return c.Bytes();
}

TEST(B3dLoader, RefusesWhatIsNotB3d) {
  for (const std::string& text : {std::string(), std::string("BB3"), std::string("MESH\4\0\0\0\1\0\0\0", 12)}) {
    FreshModel fresh;
    LogCapture log;
    EXPECT_EQ(LoadFromText(fresh.model, LoadB3dFile, text), 0) << text.size();
    EXPECT_TRUE(log.Contains("This is not a b3d file\n")) << log.Text();
  }
}

TEST(B3dLoader, SingleNodeGivesOneObjectAndNoJoints) {
  FreshModel fresh;
  LogCapture log;
  ASSERT_EQ(LoadFromText(fresh.model, LoadB3dFile, SingleNodeFile()), 1);
  EXPECT_EQ(log.ErrorText(), "");
  ModelData& m = fresh.model;
  EXPECT_EQ(m.objects_count, 1u);
  EXPECT_EQ(m.joints_count, 1u);
  EXPECT_EQ(m.bones_count, 0u);
  ASSERT_EQ(m.polygons_count, 1u);
  EXPECT_EQ(PolygonPoints(m, 0), (std::vector<uint32_t>{0, 1, 2}));
  double u = 0, v = 0;
  m.GetVertexTexcoord(2, u, v);
  EXPECT_EQ(v, 1.0);
  EXPECT_EQ(m.anim_frames_count, 0u);
}

// Nodes nest: a mesh is placed by every transform above it (position,
// rotation, scale of each level), and each node below the first is a joint
// where the node stands, its bone from the parent node's joint; a name met
// twice still gives a joint of its own.
TEST(B3dLoader, NodeTreePlacesMeshesAndJoints) {
  const float h = std::sqrt(0.5f);
  Chunks c;
  c.Open("BB3D").U32(1).Node("root", 0, 0, 10);
  // Turned a quarter about y so that x goes to -z (left-handed files store
  // that as (h, 0, -h, 0)), and doubled.
  c.Node("arm", 2, 0, 0, {h, 0, -h, 0}, 2);
  Mesh(c, {{{1, 0, 0, 0, 0}}, {{0, 1, 0, 0, 0}}, {{0, 0, 1, 0, 0}}}, {0, 1, 2});
  c.Node("hand", 1, 0, 0).Close();
  c.Close();
  c.Node("arm", 0, -3, 0).Close();  // a second node of the same name
  c.Close().Close();
  FreshModel fresh;
  ASSERT_EQ(LoadFromText(fresh.model, LoadB3dFile, c.Bytes()), 1);
  ModelData& m = fresh.model;
  ExpectNear(At(m, 0), {2, 0, 8}, "x of the arm");
  ExpectNear(At(m, 1), {2, 2, 10}, "y of the arm");
  ExpectNear(At(m, 2), {4, 0, 10}, "z of the arm");

  ASSERT_EQ(m.joints_count, 4u);
  const struct {
    const char* name;
    std::vector<double> at;
    int parent;
  } joints[] = {{"arm", {2, 0, 10}, 0}, {"hand", {2, 0, 8}, 1}, {"arm#1", {0, -3, 10}, 0}};
  for (uint32_t j = 1; j < 4; ++j) {
    JointRecord record{};
    ASSERT_EQ(m.GetJointInfo(j, &record), 1);
    EXPECT_STREQ(record.name, joints[j - 1].name);
    ExpectNear({record.position[0], record.position[1], record.position[2]}, joints[j - 1].at, record.name);
    EXPECT_EQ(m.GetParentJoint(static_cast<int32_t>(j)), joints[j - 1].parent) << record.name;
  }
  EXPECT_EQ(m.bones_count, 3u);
  EXPECT_EQ(m.CheckModel(), 1);
}

// Vertex records are as long as their flags and coordinate sets make them:
// normals, colours and further coordinate sets are passed, never read as
// the next vertex.
TEST(B3dLoader, VertexLayoutsFollowFlagsAndCoordinateSets) {
  const struct {
    int32_t flags, sets, size;
  } layouts[] = {{0, 0, 0}, {0, 1, 2}, {1, 1, 2}, {2, 1, 2}, {3, 2, 2}, {1, 1, 3}, {0, 1, 1}, {3, 8, 4}};
  for (const auto& layout : layouts) {
    SCOPED_TRACE(std::to_string(layout.flags) + " " + std::to_string(layout.sets) + " " + std::to_string(layout.size));
    Chunks c;
    c.Open("BB3D").U32(1).Node("n", 0, 0, 0).Open("MESH").I32(-1).Open("VRTS");
    c.I32(layout.flags).I32(layout.sets).I32(layout.size);
    for (int v = 0; v < 3; ++v) {
      c.Floats({10.0f * v + 1, 10.0f * v + 2, 10.0f * v + 3});
      if (layout.flags & 1) c.Floats({-7, -7, -7});
      if (layout.flags & 2) c.Floats({0.5f, 0.5f, 0.5f, 1});
      for (int s = 0; s < layout.sets; ++s)
        for (int k = 0; k < layout.size; ++k) c.F32(s == 0 ? 0.25f * (k + 1) + v : -9.0f);
    }
    c.Close().Open("TRIS").I32(-1).U32(0).U32(1).U32(2).Close().Close().Close().Close();
    FreshModel fresh;
    LogCapture log;
    ASSERT_EQ(LoadFromText(fresh.model, LoadB3dFile, c.Bytes()), 1);
    EXPECT_EQ(log.ErrorText(), "");
    ModelData& m = fresh.model;
    ASSERT_EQ(m.vertexs_count, 3u);
    ASSERT_EQ(m.polygons_count, 1u);
    for (uint32_t v = 0; v < 3; ++v) {
      ExpectNear(At(m, v), {10.0 * v + 1, 10.0 * v + 2, 10.0 * v + 3}, "vertex " + std::to_string(v));
      double u = -1, t = -1;
      m.GetVertexTexcoord(v, u, t);
      const bool has_u = layout.sets > 0 && layout.size > 0, has_v = layout.sets > 0 && layout.size > 1;
      EXPECT_DOUBLE_EQ(u, has_u ? 0.25 + v : 0.0);
      EXPECT_DOUBLE_EQ(t, has_v ? 0.5 + v : 0.0);
    }
  }
}

// Brushes with two texture layers: the first layer is the material's
// texture, the second does not shift the next brush. Triangles without a
// brush take their mesh's.
TEST(B3dLoader, BrushesWithSeveralTextures) {
  Chunks c;
  c.Open("BB3D").U32(1);
  c.Open("TEXS");
  for (const char* name : {"base.png", "light map.bmp", "other.png"}) c.Z(name).I32(1).I32(2).Floats({0, 0, 1, 1, 0});
  c.Close();
  c.Open("BRUS").I32(2);
  c.Z("first").Floats({1, 0, 0, 1, 0}).I32(1).I32(0).I32(0).I32(1);
  c.Z("second").Floats({0, 0.5f, 1, 0.5f, 0}).I32(1).I32(0).I32(2).I32(-1);
  c.Close();
  c.Node("n", 0, 0, 0).Open("MESH").I32(1).Open("VRTS").I32(0).I32(1).I32(2);
  for (int v = 0; v < 4; ++v) c.Floats({static_cast<float>(v), 0, static_cast<float>(v % 2), 0, 0});
  c.Close();
  c.Open("TRIS").I32(0).U32(0).U32(1).U32(2).Close();
  c.Open("TRIS").I32(-1).U32(1).U32(2).U32(3).Close();
  c.Close().Close().Close();
  FreshModel fresh;
  ASSERT_EQ(LoadFromText(fresh.model, LoadB3dFile, c.Bytes()), 1);
  ModelData& m = fresh.model;
  ASSERT_EQ(m.textures_count, 3u);
  ASSERT_EQ(m.materials_count, 2u);
  m.GetMaterial(0);
  EXPECT_STREQ(m.material.name, "first");
  EXPECT_EQ(m.material.diffuse[0], 255);
  EXPECT_EQ(m.material.texture, 0);
  m.GetMaterial(1);
  EXPECT_STREQ(m.material.name, "second");
  EXPECT_EQ(m.material.diffuse[1], 128);
  EXPECT_EQ(m.material.diffuse[2], 255);
  EXPECT_EQ(m.material.transparency, 128);
  EXPECT_EQ(m.material.texture, 2);
  ASSERT_EQ(m.polygons_count, 2u);
  EXPECT_EQ(m.GetPolygonMaterial(0), 0);
  EXPECT_EQ(m.GetPolygonMaterial(1), 1);
}

// A rig: bone "b1" at (0, 1, 0) turns a quarter about z (x to y, stored
// as (h, 0, 0, -h)) between its keys at frames 1 and 3; bone "b2" at (0, 2, 0) moves up by one at frame 3.
// Vertex 0 hangs on b1 alone, vertex 1 on b1 (1/4) and b2 (3/4), vertex 2
// on nothing.
std::string RigFile() {
  const float h = std::sqrt(0.5f);
  Chunks c;
  c.Open("BB3D").U32(1).Node("root", 0, 0, 0);
  Mesh(c, {{{1, 1, 0, 0, 0}}, {{1, 2, 0, 0, 0}}, {{5, 5, 5, 0, 0}}}, {0, 1, 2});
  c.Open("ANIM").I32(0).I32(3).F32(30).Close();
  c.Node("b1", 0, 1, 0).Open("BONE").U32(0).F32(1).U32(1).F32(0.25f).Close();
  c.Open("KEYS").I32(4).I32(1).Floats({1, 0, 0, 0}).I32(3).Floats({h, 0, 0, -h}).Close().Close();
  c.Node("b2", 0, 2, 0).Open("BONE").U32(1).F32(0.75f).Close();
  c.Open("KEYS").I32(1).I32(1).Floats({0, 2, 0}).I32(3).Floats({0, 3, 0}).Close().Close();
  c.Close().Close();
  return c.Bytes();
}

TEST(B3dLoader, BonesWeightsAndKeysPoseTheVertices) {
  FreshModel fresh;
  LogCapture log;
  ASSERT_EQ(LoadFromText(fresh.model, LoadB3dFile, RigFile()), 1);
  EXPECT_EQ(log.ErrorText(), "");
  ModelData& m = fresh.model;
  ASSERT_EQ(m.bones_count, 2u);
  // Each vertex belongs to the bone that weighs it most.
  EXPECT_EQ(m.SkeletOwningType, so_vertexs);
  EXPECT_EQ(m.GetVertexOwner(0), 0);
  EXPECT_EQ(m.GetVertexOwner(1), 1);
  EXPECT_EQ(m.GetVertexOwner(2), kNoOwner);
  ASSERT_EQ(m.vertex_animation_present, 1u);
  ASSERT_EQ(m.anim_frames_count, 3u);

  const double c45 = std::sqrt(0.5);
  const struct {
    float frame;
    uint32_t vertex;
    std::vector<double> at;
  } poses[] = {
      {0, 0, {1, 1, 0}},           // the first key is the rest pose
      {0, 1, {1, 2, 0}},
      {1, 0, {c45, 1 + c45, 0}},   // halfway: an eighth of a turn
      {2, 0, {0, 2, 0}},           // (1, 0, 0) from b1 turned a quarter
      // b1 takes (1, 1, 0) from it to (-1, 1, 0), b2 moved up by one.
      {2, 1, {0.25 * -1 + 0.75 * 1, 0.25 * 2 + 0.75 * 3, 0}},
      {2, 2, {5, 5, 5}},
  };
  for (const auto& pose : poses) {
    double x = 0, y = 0, z = 0;
    ASSERT_EQ(m.Animation_GetVertexPos(pose.frame, pose.vertex, x, y, z), 1);
    ExpectNear({x, y, z}, pose.at, "frame " + std::to_string(pose.frame) + " vertex " + std::to_string(pose.vertex));
  }
  // The stored positions stay the rest pose.
  ExpectNear(At(m, 0), {1, 1, 0}, "rest");
}

// Hostile trees: each is logged, what could be read is kept, and the walk
// ends in time.
TEST(B3dLoader, HostileChunksAreLoggedAndSurvived) {
  std::string past_parent = SingleNodeFile();
  StoreLe32(reinterpret_cast<uint8_t*>(&past_parent[past_parent.find("VRTS") + 4]), 0x7FFFFFF0);
  std::string past_file = SingleNodeFile();
  StoreLe32(reinterpret_cast<uint8_t*>(&past_file[4]), 0xFFFFFFFF);
  std::string bad_corner = SingleNodeFile();
  StoreLe32(reinterpret_cast<uint8_t*>(&bad_corner[bad_corner.size() - 4]), 3);
  Chunks zero;
  zero.Open("BB3D").U32(1).Open("NODE").Close().Open("TEXS").Close().Open("BRUS").Close().Open("KEYS").Close();
  zero.Close();
  Chunks deep;
  deep.Open("BB3D").U32(1);
  for (int i = 0; i < 5000; ++i) deep.Node("d", 1, 0, 0);
  for (int i = 0; i < 5000; ++i) deep.Close();
  deep.Close();
  Chunks counts;
  counts.Open("BB3D").U32(1).Open("BRUS").I32(1000000000).Z("b").Close();
  counts.Node("n", 0, 0, 0).Open("MESH").I32(-1).Open("VRTS").I32(0).I32(1000000).I32(1000000).F32(1).Close();
  counts.Open("TRIS").I32(-1).U32(0).U32(1).Close().Close();
  counts.Open("KEYS").I32(0).U32(1).Close().Open("ANIM").I32(0).I32(2000000000).F32(1).Close();
  counts.Open("KEYS").I32(1).I32(-2000000000).Floats({0, 0, 0}).I32(2000000000).Floats({0, 0, 0}).Close();
  counts.Close().Close();
  std::string no_end = SingleNodeFile();
  no_end.resize(no_end.find("only") + 2);
  StoreLe32(reinterpret_cast<uint8_t*>(&no_end[4]), static_cast<uint32_t>(no_end.size() - 8));
  StoreLe32(reinterpret_cast<uint8_t*>(&no_end[16]), 2);

  const struct {
    const char* what;
    std::string bytes;
    const char* logged;
    uint32_t polygons;
  } cases[] = {
      {"vertex chunk past its parent", past_parent, "longer than what holds it", 0},
      {"file chunk past the file", past_file, "longer than what holds it", 1},
      {"corner past the mesh", bad_corner, "name vertexs the mesh does not have", 0},
      {"zero lengths", zero.Bytes(), "node name without end", 0},
      {"deep nesting", deep.Bytes(), "nested deeper than", 0},
      {"counts beyond the file", counts.Bytes(), "cannot be read", 0},
      {"name without end", no_end, "node name without end", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FreshModel fresh;
    LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(LoadFromText(fresh.model, LoadB3dFile, c.bytes), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(log.Contains(c.logged)) << log.Text();
    EXPECT_EQ(fresh.model.polygons_count, c.polygons);
    EXPECT_EQ(fresh.model.CheckModel(), 1);
    EXPECT_EQ(fresh.model.anim_frames_count, 0u);
  }
}

// Every prefix of the rig either loads, passing the model check with every
// corner naming a vertex, or fails with a logged reason. One model serves
// every cut (InitData empties it).
TEST(B3dLoader, EveryCutOfASmallFileLoadsOrFailsWithReason) {
  const std::string rig = RigFile();
  FreshModel fresh;
  ModelData& m = fresh.model;
  // Every cut through the headers and the first node, then every third
  // byte (each load that reaches the animation resizes its stores).
  for (size_t length = 0; length < rig.size(); length += length < 80 ? 1 : 3) {
    SCOPED_TRACE("cut at " + std::to_string(length));
    ASSERT_EQ(m.InitData(), 1);
    LogCapture log;
    const int result = LoadFromText(m, LoadB3dFile, rig.substr(0, length));
    if (result == 0) {
      EXPECT_NE(log.ErrorText(), "") << "failed without a reason";
      continue;
    }
    ASSERT_EQ(result, 1);
    EXPECT_NE(log.ErrorText(), "") << "a cut file loaded without a word";
    // The whole check costs a model copy: every eighth cut is enough.
    if (length % 8 == 0) {
      EXPECT_EQ(m.CheckModel(), 1);
    }
    for (uint32_t p = 0; p < m.polygons_count; ++p)
      for (uint32_t v : PolygonPoints(m, p)) ASSERT_LT(v, m.vertexs_count);
  }
}

// ---- Saving ------------------------------------------------------------------

// Every chunk's length covers exactly what follows it up to its parent's
// end; returns the tags in file order with their depth.
void CheckLengths(const std::string& bytes, size_t from, size_t to, int depth, std::vector<std::string>& tags) {
  size_t at = from;
  while (at < to) {
    ASSERT_LE(at + 8, to) << "header cut at " << at;
    const std::string tag = bytes.substr(at, 4);
    const uint32_t length = LoadLe32(reinterpret_cast<const uint8_t*>(bytes.data() + at + 4));
    ASSERT_LE(at + 8 + length, to) << tag << " at " << at << " runs past its parent";
    tags.push_back(std::string(static_cast<size_t>(depth), ' ') + tag);
    size_t body = at + 8;
    if (tag == "BB3D" || tag == "MESH") body += 4;
    if (tag == "NODE") body = bytes.find('\0', body) + 1 + 40;
    if (tag == "BB3D" || tag == "MESH" || tag == "NODE") CheckLengths(bytes, body, at + 8 + length, depth + 1, tags);
    at += 8 + length;
  }
  ASSERT_EQ(at, to);
}

// Two objects of two materials (one textured, one material unused before
// them), coordinates, and a skeleton of three joints owning vertices.
void BuildRiggedModel(ModelData& m) {
  m.ResetMaterial();
  m.SetMaterialName("unused");
  m.AddMaterial();
  ASSERT_GE(m.CreateEmptyTexture("skin.png"), 0);
  m.ResetMaterial();
  m.SetMaterialName("red");
  m.material.diffuse[0] = 255;
  m.material.diffuse[1] = m.material.diffuse[2] = 0;
  m.material.texture = 0;
  m.AddMaterial();
  m.ResetMaterial();
  m.SetMaterialName("blue");
  m.material.diffuse[0] = m.material.diffuse[1] = 0;
  m.material.diffuse[2] = 255;
  m.material.transparency = 51;
  m.AddMaterial();
  m.relative_writes = 0;
  for (uint32_t o = 0; o < 2; ++o) {
    m.NewObject();
    m.SetObjectName(o == 0 ? "upper" : "lower");
    const uint32_t first = m.vertexs_count;
    for (uint32_t v = 0; v < 3; ++v) {
      m.StoreVertex(v == 1 ? 1.0 : 0.0, v == 2 ? 1.0 + o : o, 0.5 * o);
      m.SetVertexTexcoord(first + v, 0.125 * v, 0.25 * o);
    }
    const uint32_t corners[3] = {first, first + 1, first + 2};
    m.StorePolygon(3, corners);
    m.SetPolygonMaterial(o, 1 + static_cast<int32_t>(o));
  }
  m.FinishObjects();
  m.poly_materials_present = 1;
  m.vert_texcoords_present = 1;
  ASSERT_GE(m.AddChildJoint("", "hip", 0, 1, 0), 0);
  ASSERT_GE(m.AddChildJoint("hip", "knee", 0, -1, 1), 0);
  m.SetVertexOwner(3, 1);
  m.SetVertexOwner(4, 1);
  m.SetVertexOwner(0, 0);
  m.SkeletOwningType = so_vertexs;
}

TEST(B3dSaver, LengthsNestingAndRoundTrip) {
  FreshModel source;
  BuildRiggedModel(source.model);
  std::string written;
  {
    LogCapture log;
    ASSERT_EQ(RunOnFile(source.model, SaveB3dFile, written), 1);
    EXPECT_TRUE(log.Contains("... blitz B3D saved\n"));
  }
  std::vector<std::string> tags;
  CheckLengths(written, 0, written.size(), 0, tags);
  const std::vector<std::string> expected = {"BB3D",       " TEXS",       " BRUS",      " NODE",      "  MESH",
                                             "   VRTS",    "   TRIS",     "   TRIS",    "  ANIM",     "  NODE",
                                             "   BONE",    "   ANIM",     "   NODE",    "    BONE",   "    ANIM"};
  EXPECT_EQ(tags, expected);
  EXPECT_NE(written.find(std::string("skin.bmp") + '\0'), std::string::npos);
  EXPECT_NE(written.find(std::string("ROOT") + '\0'), std::string::npos);
  EXPECT_EQ(written.find("unused"), std::string::npos);

  FreshModel back;
  LogCapture log;
  ASSERT_EQ(LoadFromText(back.model, LoadB3dFile, written), 1);
  EXPECT_FALSE(log.Contains("LoadB3d")) << log.Text();
  ModelData& m = back.model;
  ASSERT_EQ(m.vertexs_count, 6u);
  ASSERT_EQ(m.polygons_count, 2u);
  ASSERT_EQ(m.materials_count, 2u);
  std::string seen;
  for (uint32_t p = 0; p < 2; ++p) {
    m.GetMaterial(static_cast<uint32_t>(m.GetPolygonMaterial(p)));
    const bool red = std::strcmp(m.material.name, "red") == 0;
    seen += m.material.name;
    EXPECT_EQ(m.material.diffuse[0], red ? 255 : 0);
    EXPECT_EQ(m.material.diffuse[2], red ? 0 : 255);
    EXPECT_EQ(m.material.transparency, red ? 255 : 51);
    EXPECT_EQ(m.material.texture, red ? 0 : -1);
  }
  EXPECT_TRUE(seen == "redblue" || seen == "bluered") << seen;
  const std::string texture = m.Texture(0).full_name;
  EXPECT_EQ(texture.substr(texture.size() < 8 ? 0 : texture.size() - 8), "skin.bmp");
  for (uint32_t v = 0; v < 6; ++v) {
    double u = -1, t = -1, su = -2, st = -2;
    m.GetVertexTexcoord(v, u, t);
    source.model.GetVertexTexcoord(v, su, st);
    EXPECT_DOUBLE_EQ(u, su) << v;
    EXPECT_DOUBLE_EQ(t, st) << v;
    ExpectNear(At(m, v), At(source.model, v), "vertex " + std::to_string(v));
  }
  ASSERT_EQ(m.joints_count, 3u);
  for (uint32_t j = 1; j < 3; ++j) {
    JointRecord a{}, b{};
    m.GetJointInfo(j, &a);
    source.model.GetJointInfo(j, &b);
    EXPECT_STREQ(a.name, b.name);
    ExpectNear({a.position[0], a.position[1], a.position[2]}, {b.position[0], b.position[1], b.position[2]}, a.name);
    EXPECT_EQ(m.GetParentJoint(static_cast<int32_t>(j)), source.model.GetParentJoint(static_cast<int32_t>(j)));
  }
  for (uint32_t v = 0; v < 6; ++v) EXPECT_EQ(m.GetVertexOwner(v), source.model.GetVertexOwner(v)) << v;
}

// A model with only its root joint is one node, "ROOT", holding the mesh;
// a loaded rig written again keeps its skeleton and owners.
TEST(B3dSaver, RootOnlyAndRigAgain) {
  FreshModel single;
  ASSERT_EQ(LoadFromText(single.model, LoadB3dFile, SingleNodeFile()), 1);
  std::string written;
  ASSERT_EQ(RunOnFile(single.model, SaveB3dFile, written), 1);
  std::vector<std::string> tags;
  CheckLengths(written, 0, written.size(), 0, tags);
  EXPECT_EQ(tags, (std::vector<std::string>{"BB3D", " TEXS", " BRUS", " NODE", "  MESH", "   VRTS", "   TRIS",
                                            "  ANIM"}));

  FreshModel rig;
  ASSERT_EQ(LoadFromText(rig.model, LoadB3dFile, RigFile()), 1);
  written.clear();
  ASSERT_EQ(RunOnFile(rig.model, SaveB3dFile, written), 1);
  FreshModel back;
  ASSERT_EQ(LoadFromText(back.model, LoadB3dFile, written), 1);
  ASSERT_EQ(back.model.joints_count, 3u);
  EXPECT_EQ(back.model.GetVertexOwner(0), 0);
  EXPECT_EQ(back.model.GetVertexOwner(1), 1);
  EXPECT_EQ(back.model.GetVertexOwner(2), kNoOwner);
}

// ---- Real files ----------------------------------------------------------------

AssimpReport MirroredZ(AssimpReport report) {
  const double low = report.box[2];
  report.box[2] = -report.box[5];
  report.box[5] = -low;
  return report;
}

// Every real file loads; assimp's reading of the source, of our OBJ and of
// our B3D conversion agree on triangles and extent, and a B3D written by us
// loads back with the same triangles.
TEST(B3dCorpus, EveryFileLoadsAndConvertsAlikeToAssimp) {
  std::vector<CorpusEntry> files;
  for (const CorpusEntry& entry : CorpusFiles("models/b3d/"))
    if (entry.expected_type == kB3dType) files.push_back(entry);
  if (files.empty()) GTEST_SKIP() << "corpus not present";
  ASSERT_GE(files.size(), 6u);
  const bool assimp = HaveProgram("assimp");
  for (const CorpusEntry& entry : files) {
    SCOPED_TRACE(entry.path);
    const std::string source = (CorpusDir() / entry.path).string();
    std::vector<Triangle> ours;
    ASSERT_EQ(Convert(source, kB3dType, &ours), 1);
    ASSERT_GT(ours.size(), 0u);
    const AssimpReport loaded = ReportOf(ours);
    const AssimpReport stored = MirroredZ(loaded);
    TempDir temp;
    for (const auto& [name, type] : {std::pair{"out.obj", kObjType}, std::pair{"out.b3d", kB3dType}}) {
      const std::string written = temp.File(name);
      ASSERT_EQ(Convert(source, kB3dType, nullptr, written, type), 1) << name;
      std::vector<Triangle> again;
      ASSERT_EQ(Convert(written, type, &again), 1) << name;
      EXPECT_EQ(again.size(), ours.size()) << name;
      if (!assimp) continue;
      const AssimpReport view = AssimpReportOf(written);
      ASSERT_TRUE(view.read) << "assimp cannot read " << written;
      EXPECT_EQ(view.faces, loaded.faces) << name;
      // Blitz files are left-handed: assimp reports their coordinates as
      // stored, the model (and a right-handed OBJ of the same scene) has z
      // mirrored.
      EXPECT_TRUE(SameBox(view, type == kObjType ? loaded : stored)) << name << " box " << view.box[0] << " " << view.box[1] << " "
                                         << view.box[2] << " / " << view.box[3] << " " << view.box[4] << " "
                                         << view.box[5];
    }
    if (!assimp) continue;
    const AssimpReport reference = AssimpReportOf(source);
    ASSERT_TRUE(reference.read) << "assimp cannot read the source";
    EXPECT_EQ(reference.faces, loaded.faces);
    EXPECT_TRUE(SameBox(reference, stored)) << "box " << reference.box[0] << " " << reference.box[1] << " "
                                            << reference.box[2] << " / " << reference.box[3] << " "
                                            << reference.box[4] << " " << reference.box[5];
  }
  if (!assimp) GTEST_SKIP() << "assimp is not installed: its reading was not compared";
}

// A real rig: every bone's joint stands among the vertices it carries
// (within a unit, where the limbs are four to five units apart).
TEST(B3dCorpus, RigJointsStandAmongTheirVertexs) {
  const std::filesystem::path source = CorpusDir() / "models/b3d/cube_bones.b3d";
  if (!std::filesystem::exists(source)) GTEST_SKIP() << "corpus not present";
  ASSERT_EQ(LoadThroughPipeline(source.string(), kB3dType, [](ModelData& m) {
              ASSERT_EQ(m.bones_count, 8u);
              uint32_t checked = 0;
              for (uint32_t b = 0; b < m.bones_count; ++b) {
                std::vector<double> sum = {0, 0, 0};
                uint32_t count = 0;
                for (uint32_t v = 0; v < m.vertexs_count; ++v) {
                  if (m.GetVertexOwner(v) != b) continue;
                  const std::vector<double> at = At(m, v);
                  for (int k = 0; k < 3; ++k) sum[k] += at[k];
                  ++count;
                }
                if (count == 0) continue;
                int16_t first = 0, second = 0;
                m.GetBoneJoints(b, first, second);
                double x = 0, y = 0, z = 0;
                m.GetJointPosition(static_cast<uint32_t>(second), x, y, z);
                const double dx = x - sum[0] / count, dy = y - sum[1] / count, dz = z - sum[2] / count;
                EXPECT_LT(std::sqrt(dx * dx + dy * dy + dz * dz), 1.0) << m.GetBoneName(b);
                ++checked;
              }
              EXPECT_EQ(checked, 7u);
            }),
            1);
}

// A model of three textured materials written as B3D: assimp reads the
// triangles and materials we loaded, its materials carry our names, and
// their textures are the pictures written beside the file.
TEST(B3dCorpus, TexturedMaterialsReadBackByAssimp) {
  const std::filesystem::path source = CorpusDir() / "models/3ds/test1/test1.3ds";
  if (!std::filesystem::exists(source)) GTEST_SKIP() << "corpus not present";
  TempDir temp;
  const std::string written = temp.File("out.b3d");
  std::vector<Triangle> ours;
  ASSERT_EQ(Convert(source.string(), k3dsType, &ours, written, kB3dType), 1);
  std::vector<std::string> pictures;
  for (const auto& file : std::filesystem::directory_iterator(temp.Path()))
    if (file.path().extension() == ".bmp") pictures.push_back(file.path().filename().string());
  std::sort(pictures.begin(), pictures.end());
  ASSERT_EQ(pictures.size(), 3u);
  std::vector<std::string> names;
  ASSERT_EQ(LoadThroughPipeline(written, kB3dType, [&](ModelData& m) {
              EXPECT_EQ(m.polygons_count, ours.size());
              EXPECT_EQ(m.textures_count, 3u);
              for (uint32_t i = 0; i < m.materials_count; ++i) {
                m.GetMaterial(i);
                names.emplace_back(m.material.name);
              }
            }),
            1);
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names.size(), 3u);
  if (!HaveProgram("assimp")) GTEST_SKIP() << "assimp is not installed: its reading was not compared";
  const AssimpReport view = AssimpReportOf(written);
  ASSERT_TRUE(view.read);
  EXPECT_EQ(view.faces, static_cast<double>(ours.size()));
  EXPECT_EQ(view.materials, 3);
  ASSERT_EQ(RunCommand("assimp export '" + written + "' '" + temp.File("check.obj") + "' > /dev/null 2>&1"), 0);
  std::istringstream library(ReadText(temp.File("check.mtl")));
  std::vector<std::string> maps, materials;
  for (std::string line; std::getline(library, line);) {
    if (line.rfind("map_Kd ", 0) == 0) maps.push_back(line.substr(7));
    if (line.rfind("newmtl ", 0) == 0) materials.push_back(line.substr(7));
  }
  std::sort(maps.begin(), maps.end());
  std::sort(materials.begin(), materials.end());
  EXPECT_EQ(maps, pictures);
  EXPECT_EQ(materials, names);
}

}  // namespace
}  // namespace zepcon::test
