#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/byte_reader.h"
#include "core/format_table.h"
#include "core/pipeline/pipeline_companions.h"
#include "core/type_recognition.h"
#include "formats3d/games_helpers.h"
#include "formats3d/model_codec_helpers.h"
#include "formats3d/model_codecs.h"
#include "model/model_data.h"
#include "support/test_support.h"

namespace zepcon::test {
namespace {

// ---- Hand-made files ------------------------------------------------------

// An 8-bit TIM picture of `width` x `height` (width even) whose pixels all
// use palette entry 1, pure red.
std::vector<uint8_t> TinyTim(uint16_t width, uint16_t height) {
  Bytes b;
  b.U32(0x10).U32(0x09);
  b.U32(12 + 256 * 2).U16(0).U16(0).U16(256).U16(1);
  for (int i = 0; i < 256; ++i) b.U16(i == 1 ? 0x001F : 0);
  b.U32(12 + uint32_t{width} * height).U16(0).U16(0).U16(width / 2).U16(height);
  for (int i = 0; i < width * height; ++i) b.data.push_back(1);
  return b.data;
}

struct Face {
  std::vector<uint16_t> corners;  // 3 or 4, in file order
  uint16_t texture = 0;
};

struct Run {
  uint16_t bone;
  std::vector<std::array<int16_t, 3>> vertices;
};

struct Object {
  std::vector<Run> runs;
  std::vector<Face> faces;
};

// The object section bytes; `position` is where the object starts in the file.
std::vector<uint8_t> ObjectBytes(const Object& object, size_t position) {
  Bytes b;
  b.U16(static_cast<uint32_t>(object.runs.size()));
  for (const Run& run : object.runs) {
    b.U16(run.bone).U16(static_cast<uint32_t>(run.vertices.size()));
    for (const auto& v : run.vertices) b.I16(v[0]).I16(v[1]).I16(v[2]);
  }
  while ((position + b.Size()) % 4 != 0) b.data.push_back(0);
  uint32_t triangles = 0, quads = 0;
  for (const Face& f : object.faces) (f.corners.size() == 3 ? triangles : quads)++;
  b.U16(triangles).U16(quads).U32(0).U32(0);
  const uint16_t texture_field = 0x3800;
  for (const Face& f : object.faces) {
    if (f.corners.size() != 3) continue;
    // The first corner carries a flag in its top bits.
    b.U16(f.corners[0] | 0x8000).U16(f.corners[1]).U16(f.corners[2]);
    b.U16(0x0000).U16(0x0004).U16(texture_field | (f.texture << 6)).U16(0x0404).U16(0xAA);
  }
  for (const Face& f : object.faces) {
    if (f.corners.size() != 4) continue;
    b.U16(f.corners[0] | 0x8000).U16(f.corners[1]).U16(f.corners[2]).U16(f.corners[3]);
    b.U16(0x0000).U16(texture_field | (f.texture << 6)).U16(0x0004).U16(0xAA).U16(0x0400).U16(0x0404);
  }
  return b.data;
}

// Bit fields packed least significant bit first, as the animations hold them.
struct BitWriter {
  std::vector<uint8_t> bytes;
  uint64_t bits = 0;

  BitWriter& Put(uint32_t value, unsigned width) {
    for (unsigned i = 0; i < width; ++i, ++bits) {
      if (bits % 8 == 0) bytes.push_back(0);
      bytes.back() = static_cast<uint8_t>(bytes.back() | (((value >> i) & 1u) << (bits % 8)));
    }
    return *this;
  }
  BitWriter& Signed(int32_t value, unsigned width) {
    return Put(static_cast<uint32_t>(value) & ((1u << width) - 1), width);
  }
};

// A frame's rotation changes per bone (x, y, z in 4096ths of a turn; 0 is
// left out), with a root movement and, when `scaled`, scale fields that the
// loader must pass over.
struct Frame {
  std::vector<std::array<int32_t, 3>> turns;
  bool scaled = false;
};

void PutFrame(BitWriter& w, const Frame& frame) {
  w.Put(3, 2).Signed(-565, 16).Put(0, 2).Signed(2, 3).Put(1, 2).Signed(-20, 6);
  w.Put(frame.scaled ? 1 : 0, 1);
  for (const auto& turn : frame.turns) {
    for (int32_t t : turn) {
      if (t == 0) {
        w.Put(0, 1);
      } else if (t >= -128 && t < 128) {
        w.Put(1, 1).Put(2, 2).Signed(t, 8);
      } else {
        w.Put(1, 1).Put(3, 2).Signed(t, 12);
      }
    }
    if (frame.scaled) w.Put(1, 1).Signed(-100, 16).Put(0, 1).Put(1, 1).Signed(300, 16);
  }
}

struct Model {
  std::vector<int> parents;  // -1 for the root
  std::vector<int16_t> lengths;
  std::vector<Object> objects;
  std::vector<std::vector<uint8_t>> textures;
  std::vector<std::vector<Frame>> animations;
};

std::vector<uint8_t> AnimationBytes(const std::vector<std::vector<Frame>>& animations) {
  if (animations.empty()) return {};
  Bytes table;
  table.U32(static_cast<uint32_t>(animations.size()));
  std::vector<uint8_t> body;
  for (const auto& frames : animations) {
    table.U32(static_cast<uint32_t>(4 + 4 * animations.size() + body.size()));
    body.push_back(static_cast<uint8_t>(frames.size()));
    BitWriter w;
    for (const Frame& f : frames) PutFrame(w, f);
    body.insert(body.end(), w.bytes.begin(), w.bytes.end());
  }
  table.Raw(body);
  return table.data;
}

// A whole battle file: 11 sections, the unused ones empty.
std::vector<uint8_t> DatBytes(const Model& model) {
  std::vector<std::vector<uint8_t>> sections(11);
  Bytes skeleton;
  skeleton.U16(static_cast<uint32_t>(model.parents.size())).U16(0).U16(0).U16(0).U16(4096).U16(4096).U16(4096).U16(0);
  for (size_t i = 0; i < model.parents.size(); ++i) {
    skeleton.U16(model.parents[i] < 0 ? 0xFFFF : static_cast<uint32_t>(model.parents[i])).I16(model.lengths[i]);
    for (int k = 0; k < 44; ++k) skeleton.data.push_back(0);
  }
  sections[0] = skeleton.data;
  sections[2] = AnimationBytes(model.animations);
  Bytes textures;
  if (!model.textures.empty()) {
    textures.U32(static_cast<uint32_t>(model.textures.size()));
    uint32_t at = 4 + 4 * static_cast<uint32_t>(model.textures.size() + 1);
    for (const auto& t : model.textures) {
      textures.U32(at);
      at += static_cast<uint32_t>(t.size());
    }
    textures.U32(at);
    for (const auto& t : model.textures) textures.Raw(t);
  }
  sections[10] = textures.data;
  // The geometry's place in the file decides its padding: lay it out last.
  const size_t header = 4 + 4 * 12;
  const size_t geometry_start = header + sections[0].size();
  Bytes geometry;
  geometry.U32(static_cast<uint32_t>(model.objects.size()));
  const size_t table = 4 + 4 * model.objects.size();
  std::vector<uint8_t> body;
  for (const Object& object : model.objects) {
    geometry.U32(static_cast<uint32_t>(table + body.size()));
    const auto bytes = ObjectBytes(object, geometry_start + table + body.size());
    body.insert(body.end(), bytes.begin(), bytes.end());
  }
  geometry.Raw(body);
  uint32_t vertices = 0;
  for (const Object& o : model.objects)
    for (const Run& r : o.runs) vertices += static_cast<uint32_t>(r.vertices.size());
  geometry.U32(vertices);
  sections[1] = geometry.data;

  Bytes file;
  file.U32(11);
  size_t at = header;
  for (const auto& s : sections) {
    file.U32(static_cast<uint32_t>(at));
    at += s.size();
  }
  file.U32(static_cast<uint32_t>(at));
  for (const auto& s : sections) file.Raw(s);
  return file.data;
}

// Two bones (the second hanging from the first), two objects (a triangle on
// bone 0, a quad on bone 1 with an odd vertex count so the padding shows),
// one 4x2 texture.
Model TwoObjects() {
  Model m;
  m.parents = {-1, 0};
  m.lengths = {0, -300};
  m.objects.push_back({{{0, {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}}}}, {{{0, 1, 2}}}});
  m.objects.push_back({{{1, {{0, 0, 10}, {50, 0, 10}, {0, 50, 10}, {50, 50, 10}, {-7, -7, -7}}}}, {{{0, 1, 2, 3}}}});
  m.textures.push_back(TinyTim(4, 2));
  return m;
}

ModelView ViewOfLoaded(ModelData& model) {
  model.TriangulatePolygons();
  return ViewOf(TrianglesOf(model));
}

TEST(Ff8Dat, HandMadeFileLoadsSkeletonGeometryAndTexture) {
  const auto bytes = DatBytes(TwoObjects());
  FreshModel fresh;
  ModelData& model = fresh.model;
  PipelineCompanions companions;
  model.companions = &companions;
  ASSERT_EQ(LoadFromBytes(model, LoadFf8Dat, bytes), 1);

  EXPECT_EQ(model.bones_count, 2u);
  EXPECT_EQ(model.joints_count, 3u);  // the root and one per bone
  int16_t first = -9, second = -9;
  ASSERT_EQ(model.GetBoneJoints(1, first, second), 1);
  EXPECT_EQ(first, 1) << "bone 1 hangs from the end of bone 0";
  EXPECT_EQ(second, 2);
  BoneRecord bone{};
  ASSERT_EQ(model.GetBoneInfo(1, &bone), 1);
  EXPECT_DOUBLE_EQ(bone.length, 300.0);

  EXPECT_EQ(model.vertexs_count, 8u);
  EXPECT_EQ(model.polygons_count, 2u);
  EXPECT_EQ(model.SkeletOwningType, static_cast<uint32_t>(so_vertexs));
  for (uint32_t v = 0; v < 8; ++v) EXPECT_EQ(model.GetVertexOwner(v), v < 3 ? 0 : 1) << v;
  // The quad is stored in strip order: its corners go round as 0 1 3 2.
  EXPECT_EQ(PolygonPoints(model, 1), (std::vector<uint32_t>{3, 4, 6, 5}));
  EXPECT_EQ(PolygonPoints(model, 0), (std::vector<uint32_t>{0, 1, 2})) << "the flag bits of an index are dropped";

  ASSERT_EQ(model.textures_count, 1u);
  EXPECT_EQ(model.Texture(0).width, 4u);
  EXPECT_EQ(model.Texture(0).height, 2u);
  EXPECT_EQ(model.Texture(0).kind, 0u) << "the embedded picture was read, not replaced";
  uint8_t pixel[4] = {};
  ASSERT_EQ(model.GetTextureData(0, 0, 4, pixel), 1);
  EXPECT_GE(pixel[0], 240);
  EXPECT_EQ(pixel[1], 0);
  EXPECT_EQ(pixel[2], 0);
  EXPECT_EQ(model.GetPolygonMaterial(0), 0);
  EXPECT_EQ(model.GetPolygonMaterial(1), 0);
  // Texture coordinates are texels over the picture's size.
  double u = -1, v = -1;
  uint32_t first_point = 0, points = 0;
  ASSERT_EQ(model.ReadPolygonPointData(0, first_point, points), 1);
  ASSERT_EQ(model.GetPointTexcoord(first_point + 2, u, v), 1);
  EXPECT_DOUBLE_EQ(u, 1.0);
  EXPECT_DOUBLE_EQ(v, 2.0);
  ASSERT_EQ(model.GetPointTexcoord(first_point + 1, u, v), 1);
  EXPECT_DOUBLE_EQ(u, 1.0);
  EXPECT_DOUBLE_EQ(v, 0.0);

  const ModelView view = ViewOfLoaded(model);
  EXPECT_EQ(view[0], 3);
  EXPECT_EQ((std::vector<double>(view.begin() + 1, view.end())), (std::vector<double>{0, 0, 0, 100, 100, 10}));
}

// TwoObjects with two animations: the first of two frames, the second of
// one frame whose bones also carry scale fields.
Model Animated() {
  Model m = TwoObjects();
  m.animations = {
      {Frame{{{0, 1024, 0}, {0, 0, 0}}}, Frame{{{0, 1024, 0}, {1024, 0, 0}}}},
      {Frame{{{0, 0, -1024}, {512, 0, 0}}, true}},
  };
  return m;
}

std::array<double, 3> JointAt(ModelData& model, float frame, uint32_t joint) {
  EXPECT_EQ(model.CalcJoints(frame), 1);
  std::array<double, 3> p{};
  model.GetJointPosition(joint, p[0], p[1], p[2]);
  return p;
}

std::array<double, 3> VertexAtFrame(ModelData& model, float frame, uint32_t vertex) {
  model.current_frame = frame;
  const auto p = VertexAt(model, vertex);
  model.current_frame = -2.0f;
  return {p[0], p[1], p[2]};
}

void ExpectNear3(const std::array<double, 3>& got, const std::array<double, 3>& want, const char* what) {
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], want[k], 1e-3) << what << " axis " << k;
}

// A bone's rotation, applied to a point, turns it about z, then about x
// (the other way round: +x takes +y towards -z), then about y; a bone
// reaches along -z by its length from the end of its parent; its vertices
// sit at its start, in its frame.
TEST(Ff8Dat, AnimationsPoseTheSkeletonFrameByFrame) {
  FreshModel fresh;
  ModelData& model = fresh.model;
  ASSERT_EQ(LoadFromBytes(model, LoadFf8Dat, DatBytes(Animated())), 1);
  ASSERT_EQ(model.bone_animation_present, 1u);
  EXPECT_EQ(model.anim_frames_count, 3u) << "the animations' frames one after the other";
  ASSERT_EQ(model.animation_segments_count, 2u);
  const std::pair<uint32_t, uint32_t> runs[] = {{0, 2}, {2, 1}};
  for (int32_t a = 0; a < 2; ++a) {
    ASSERT_EQ(model.Animation_GetSegmentInfo(a), 1);
    EXPECT_EQ(std::string(model.animation_segment.name), "anim0" + std::to_string(a));
    EXPECT_EQ(model.animation_segment.first_frame, runs[a].first);
    EXPECT_EQ(model.animation_segment.frames, runs[a].second);
  }

  const double h = 150.0 * std::sqrt(2.0);
  struct Case {
    float frame;
    std::array<double, 3> joint2;       // the end of bone 1
    std::array<double, 3> bone0_vertex;  // (100, 0, 0) owned by bone 0
    std::array<double, 3> bone1_vertex;  // (50, 0, 10) owned by bone 1
  };
  const Case cases[] = {
      // A quarter turn about y: -z goes to -x.
      {0.0f, {-300, 0, 0}, {0, 0, -100}, {10, 0, -50}},
      // The changes add up: half a turn about y for bone 0, and bone 1 a
      // quarter turn about x within it: -z to -y, then mirrored in x and z.
      {1.0f, {0, -300, 0}, {-100, 0, 0}, {-50, 10, 0}},
      // A new animation starts from zero: bone 0 turned -90 degrees about
      // z (+y to +x), bone 1 45 degrees about x; the scale fields were passed.
      {2.0f, {-h, 0, -h}, {0, -100, 0}, {h / 30, -50, h / 30}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frame);
    ExpectNear3(JointAt(model, c.frame, 1), {0, 0, 0}, "bone 0 has no length");
    ExpectNear3(JointAt(model, c.frame, 2), c.joint2, "joint 2");
    ExpectNear3(VertexAtFrame(model, c.frame, 1), c.bone0_vertex, "vertex of bone 0");
    ExpectNear3(VertexAtFrame(model, c.frame, 4), c.bone1_vertex, "vertex of bone 1");
  }
  // The stored vertices stay as the file has them, relative to their bones.
  EXPECT_EQ(VertexAt(model, 4), (std::vector<double>{50, 0, 10}));
}

TEST(Ff8Dat, DamagedAnimationsKeepTheWholeOnesBeforeThem) {
  const auto good = DatBytes(Animated());
  const uint32_t section = LoadLe32(good.data() + 12);
  const uint32_t second = section + LoadLe32(good.data() + section + 8);
  struct Case {
    const char* name;
    size_t at;
    uint32_t value;
    int width;  // 1, 2 or 4 bytes
    uint32_t animations_kept;
  };
  const Case cases[] = {
      {"huge animation count", section, 0x40000000, 4, 0},
      {"first animation outside the section", section + 4, 0x7FFFFFF0, 4, 0},
      {"second animation overlaps the first", section + 8, 13, 4, 1},
      {"second animation claims more frames than its bits hold", second, 200, 1, 1},
      {"first animation claims more frames than its bits hold", section + 12, 250, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto bytes = good;
    if (c.width == 4) StoreLe32(bytes.data() + c.at, c.value);
    if (c.width == 1) bytes[c.at] = static_cast<uint8_t>(c.value);
    FreshModel fresh;
    LogCapture log;
    ASSERT_EQ(LoadFromBytes(fresh.model, LoadFf8Dat, bytes), 1) << "the geometry is whole";
    EXPECT_NE(log.ErrorText(), "");
    EXPECT_EQ(fresh.model.animation_segments_count, c.animations_kept);
    EXPECT_EQ(fresh.model.bone_animation_present, c.animations_kept > 0 ? 1u : 0u);
    EXPECT_EQ(fresh.model.anim_frames_count, c.animations_kept > 0 ? 2u : 0u);
  }
}

TEST(Ff8Dat, AnUnreadableTextureKeepsItsPlaceWithAPlaceholder) {
  Model m = TwoObjects();
  m.textures[0][0] = 0x11;  // no longer a TIM
  m.textures.push_back(TinyTim(2, 2));
  m.objects[1].faces[0].texture = 1;
  FreshModel fresh;
  PipelineCompanions companions;
  fresh.model.companions = &companions;
  LogCapture log;
  ASSERT_EQ(LoadFromBytes(fresh.model, LoadFf8Dat, DatBytes(m)), 1);
  EXPECT_NE(log.ErrorText(), "");
  ASSERT_EQ(fresh.model.textures_count, 2u);
  EXPECT_EQ(fresh.model.Texture(0).kind, 1u);
  EXPECT_EQ(fresh.model.Texture(1).kind, 0u);
  EXPECT_EQ(fresh.model.Texture(1).width, 2u);
  EXPECT_EQ(fresh.model.GetPolygonMaterial(1), 1) << "the quad still names the second texture";
}

TEST(Ff8Dat, FacesNamingATextureThatIsNotThereKeepNoMaterial) {
  Model m = TwoObjects();
  m.objects[1].faces[0].texture = 3;
  FreshModel fresh;
  ASSERT_EQ(LoadFromBytes(fresh.model, LoadFf8Dat, DatBytes(m)), 1);
  EXPECT_EQ(fresh.model.GetPolygonMaterial(0), 0);
  EXPECT_EQ(fresh.model.GetPolygonMaterial(1), -1);
}

TEST(Ff8Dat, IsRecognisedByTheSizeInItsTable) {
  TempDir dir;
  const std::string path = dir.File("c0m999.dat");
  auto bytes = DatBytes(TwoObjects());
  WriteBytes(path, bytes);
  EXPECT_EQ(DetermineTypeOfPath(path.c_str()), TYPE_FF8_DAT);
  bytes.push_back(0);
  WriteBytes(path, bytes);
  EXPECT_NE(DetermineTypeOfPath(path.c_str()), TYPE_FF8_DAT);
}

// Damaged files fail with a reason; no damage reads outside the file.
TEST(Ff8Dat, DamagedFilesFailWithAReason) {
  const auto good = DatBytes(TwoObjects());
  const uint32_t geometry = LoadLe32(good.data() + 8);
  const uint32_t first_object = geometry + LoadLe32(good.data() + geometry + 4);
  struct Case {
    const char* name;
    size_t at;
    uint32_t value;
    int width;  // 2 or 4 bytes
  };
  const Case cases[] = {
      {"size in the table is wrong", 48, static_cast<uint32_t>(good.size() + 1), 4},
      {"huge section count", 0, 0x40000000, 4},
      {"section before the table", 4, 8, 4},
      {"sections out of order", 8, 4000, 4},
      {"huge bone count", 52, 0xFFFF, 2},
      {"huge object count", geometry, 0x10000000, 4},
      {"object outside its section", geometry + 4, 0x7FFFFFF0, 4},
      {"vertex run longer than the object", first_object + 4, 0x7FFF, 2},
      {"vertices owned by a missing bone", first_object + 2, 7, 2},
      {"huge triangle count", first_object + 2 + 4 + 18 + 2, 0xFFFF, 2},
      {"corner past the object's vertices", first_object + 2 + 4 + 18 + 2 + 12 + 2, 3, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto bytes = good;
    ASSERT_LT(c.at + c.width, bytes.size());
    if (c.width == 4)
      StoreLe32(bytes.data() + c.at, c.value);
    else
      StoreLe16(bytes.data() + c.at, static_cast<uint16_t>(c.value));
    FreshModel fresh;
    LogCapture log;
    EXPECT_EQ(LoadFromBytes(fresh.model, LoadFf8Dat, bytes), 0);
    EXPECT_NE(log.ErrorText(), "");
  }
}

TEST(Ff8Dat, EveryCutLoadsOrFailsWithAReason) {
  ExpectEveryCutLoadsOrFailsWithReason(DatBytes(TwoObjects()), LoadFf8Dat);
}

// ---- Real files -------------------------------------------------------------

// What the file's own structure says, walked here without the loader:
// triangles (quads count twice) and the extent of the vertices faces use.
ModelView CountedFromFile(const std::vector<uint8_t>& d) {
  ModelView view = kNoView;
  view[0] = 0;
  const uint32_t geometry = LoadLe32(d.data() + 8);
  const uint32_t objects = LoadLe32(d.data() + geometry);
  for (uint32_t i = 0; i < objects; ++i) {
    size_t p = geometry + LoadLe32(d.data() + geometry + 4 + 4 * i);
    const uint32_t runs = LoadLe16(d.data() + p);
    p += 2;
    std::vector<std::array<double, 3>> vertices;
    for (uint32_t r = 0; r < runs; ++r) {
      const uint32_t count = LoadLe16(d.data() + p + 2);
      p += 4;
      for (uint32_t v = 0; v < count; ++v, p += 6)
        vertices.push_back({static_cast<double>(static_cast<int16_t>(LoadLe16(d.data() + p))),
                            static_cast<double>(static_cast<int16_t>(LoadLe16(d.data() + p + 2))),
                            static_cast<double>(static_cast<int16_t>(LoadLe16(d.data() + p + 4)))});
    }
    p = (p + 3) / 4 * 4;
    const uint32_t triangles = LoadLe16(d.data() + p), quads = LoadLe16(d.data() + p + 2);
    p += 12;
    view[0] += triangles + 2.0 * quads;
    const auto use = [&](size_t at) {
      const auto& v = vertices.at(LoadLe16(d.data() + at) & 0x0FFF);
      for (int k = 0; k < 3; ++k) {
        view[1 + k] = std::min(view[1 + k], v[k]);
        view[4 + k] = std::max(view[4 + k], v[k]);
      }
    };
    for (uint32_t t = 0; t < triangles; ++t, p += 16)
      for (int k = 0; k < 3; ++k) use(p + 2 * k);
    for (uint32_t q = 0; q < quads; ++q, p += 20)
      for (int k = 0; k < 4; ++k) use(p + 2 * k);
  }
  return view;
}

TEST(Ff8Dat, CorpusFilesLoadWithTheirOwnCountsAndExtent) {
  const auto files = CorpusFiles("models/dat");
  if (files.empty()) GTEST_SKIP() << "corpus not present";
  int loaded = 0;
  for (const CorpusEntry& entry : files) {
    SCOPED_TRACE(entry.path);
    const std::string path = (CorpusDir() / entry.path).string();
    EXPECT_EQ(DetermineTypeOfPath(path.c_str()), entry.expected_type);
    if (entry.expected_type != TYPE_FF8_DAT) {
      FreshModel fresh;
      LogCapture log;
      EXPECT_EQ(LoadFromBytes(fresh.model, LoadFf8Dat, ReadBytes(path)), 0) << "a file without geometry";
      EXPECT_NE(log.ErrorText(), "");
      continue;
    }
    std::vector<Triangle> ours;
    ASSERT_EQ(Convert(path, TYPE_FF8_DAT, &ours), 1);
    const ModelView want = CountedFromFile(ReadBytes(path));
    const ModelView got = ViewOf(ours);
    for (int k = 0; k < 7; ++k) EXPECT_EQ(got[k], want[k]) << "item " << k;
    EXPECT_GT(TexturesOf(path, TYPE_FF8_DAT), 0u);
    ++loaded;
  }
  EXPECT_EQ(loaded, 5);
}

// The frames and animations the file's own table gives, read here without
// the loader: the animation count and the sum of the frame count bytes.
std::pair<uint32_t, uint32_t> AnimationsInFile(const std::vector<uint8_t>& d) {
  const uint32_t section = LoadLe32(d.data() + 12);
  const uint32_t animations = LoadLe32(d.data() + section);
  uint32_t frames = 0;
  for (uint32_t a = 0; a < animations; ++a) frames += d.at(section + LoadLe32(d.data() + section + 4 + 4 * a));
  return {animations, frames};
}

// Parts that touch their neighbours leave no gap; some monsters carry
// floating parts (c0m000 averages 6 to 7 % of its size). Parts torn apart
// by wrong turns or misplaced joints leave gaps of a tenth of the model's
// size and more.
constexpr double kAssembledGap = 0.08;

// How far, on average, each posed part lies from the nearest part up its
// chain of bones: assembled parts touch, so this is small against the
// model's size.
double MeanGapToParentPart(ModelData& model, float frame) {
  std::vector<std::vector<std::array<double, 3>>> parts(model.bones_count);
  model.current_frame = frame;
  for (uint32_t v = 0; v < model.vertexs_count; ++v) {
    const auto p = VertexAt(model, v);
    const int32_t owner = model.GetVertexOwner(v);
    if (owner >= 0 && static_cast<uint32_t>(owner) < model.bones_count) parts[owner].push_back({p[0], p[1], p[2]});
  }
  model.current_frame = -2.0f;
  const auto parent_of = [&](int32_t bone) {
    int16_t first = 0, second = 0;
    model.GetBoneJoints(static_cast<uint32_t>(bone), first, second);
    return static_cast<int32_t>(first) - 1;
  };
  double total = 0.0;
  int counted = 0;
  for (int32_t b = 0; b < static_cast<int32_t>(model.bones_count); ++b) {
    if (parts[b].empty()) continue;
    int32_t up = parent_of(b);
    while (up >= 0 && parts[up].empty()) up = parent_of(up);
    if (up < 0) continue;
    double nearest = 1e300;
    for (const auto& p : parts[b])
      for (const auto& q : parts[up]) nearest = std::min(nearest, std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]));
    total += nearest;
    ++counted;
  }
  return counted ? total / counted : 0.0;
}

TEST(Ff8Dat, CorpusModelsArePosedAndAssembled) {
  int checked = 0;
  for (const CorpusEntry& entry : CorpusFiles("models/dat")) {
    if (entry.expected_type != TYPE_FF8_DAT) continue;
    SCOPED_TRACE(entry.path);
    const auto bytes = ReadBytes((CorpusDir() / entry.path).string());
    FreshModel fresh;
    ModelData& model = fresh.model;
    PipelineCompanions companions;
    model.companions = &companions;
    ASSERT_EQ(LoadFromBytes(model, LoadFf8Dat, bytes), 1);
    const auto [animations, frames] = AnimationsInFile(bytes);
    EXPECT_EQ(model.animation_segments_count, animations);
    EXPECT_EQ(model.anim_frames_count, frames);
    ASSERT_EQ(model.bone_animation_present, 1u);
    for (uint32_t f = 0; f < model.anim_frames_count; ++f) {
      ASSERT_EQ(model.CalcJoints(static_cast<float>(f)), 1) << f;
      for (uint32_t j = 0; j < model.joints_count; ++j) {
        double x = 0, y = 0, z = 0;
        model.GetJointPosition(j, x, y, z);
        ASSERT_TRUE(std::isfinite(x) && std::isfinite(y) && std::isfinite(z)) << "frame " << f << " joint " << j;
      }
    }
    model.CalculateBoundingBox();
    const double size = std::hypot(model.bounding_max.x - model.bounding_min.x,
                                   model.bounding_max.y - model.bounding_min.y,
                                   model.bounding_max.z - model.bounding_min.z);
    ASSERT_GT(size, 0.0);
    // At rest and in the middle of every animation.
    std::vector<float> poses = {0.0f};
    for (uint32_t a = 0; a < model.animation_segments_count; ++a) {
      ASSERT_EQ(model.Animation_GetSegmentInfo(static_cast<int32_t>(a)), 1);
      poses.push_back(static_cast<float>(model.animation_segment.first_frame + model.animation_segment.frames / 2));
    }
    for (float pose : poses) EXPECT_LT(MeanGapToParentPart(model, pose), kAssembledGap * size) << "frame " << pose;
    ++checked;
  }
  if (checked == 0) GTEST_SKIP() << "corpus not present";
  EXPECT_EQ(checked, 5);
}

// Up is -y here, unlike in either destination: the written files are
// compared by extent and with assimp's reading of them.
TEST(Ff8Dat, CorpusConvertsToObjAnd3dsReadBackAlike) {
  int converted = 0;
  for (const CorpusEntry& entry : CorpusFiles("models/dat")) {
    if (entry.expected_type != TYPE_FF8_DAT) continue;
    SCOPED_TRACE(entry.path);
    ExpectObjAnd3dsReadBackByAssimp((CorpusDir() / entry.path).string(), TYPE_FF8_DAT);
    ++converted;
  }
  if (converted == 0) GTEST_SKIP() << "corpus not present";
  EXPECT_EQ(converted, 5);
}

}  // namespace
}  // namespace zepcon::test
