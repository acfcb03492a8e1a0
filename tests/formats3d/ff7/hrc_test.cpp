#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "formats3d/ff7/ff7_test_util.h"

namespace zepcon::ff7_test {
namespace {

namespace fs = std::filesystem;

const char kThreeBones[] =
    ":HEADER_BLOCK 2\r\n:SKELETON test_skel\r\n:BONES 3\r\n\r\n"
    "b1\r\nroot\r\n1.5\r\n1 PARTA\r\n\r\n"
    "b2\r\nb1\r\n2\r\n2 MISSING PARTB\r\n\r\n"
    "b3\r\nroot\r\n3\r\n0 \r\n";

// The rotations of three bones per frame, as the file holds them (x, y, z).
const std::vector<std::vector<std::array<float, 3>>> kGoodFrames = {
    {{90, 0, 0}, {0, 0, 0}, {0, 0, 0}},
    {{0, 0, 0}, {0, 90, 0}, {90, 0, 0}},
};

// A field model folder: part A (exact names, two textures, a textured
// group), part B (upper-case names, lower-case files), a part that is
// missing, and animations: one good, one for two bones, one cut short.
void WriteFieldModel(const test::TempDir& dir) {
  test::WriteText(dir.File("skel.hrc"), kThreeBones);
  test::WriteText(dir.File("PARTA.rsd"), RsdText("PARTA.PLY", {"skin.TIM", "face.TIM"}));
  PContent a;
  a.vertexs = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  a.texcoords = {{0, 0}, {1, 0}, {0, 1}};
  a.vertex_colours.assign(3, {30, 20, 10, 255});
  a.polygon_colours = {{0, 0, 0, 255}};
  a.polygons = {{0, 1, 2}};
  a.groups = {{0, 1, 0, 3, 0, 1, 1}};
  test::WriteBytes(dir.File("PARTA.P"), BuildP(a));
  test::WriteText(dir.File("partb.rsd"), RsdText("PARTB.PLY", {}));
  test::WriteBytes(dir.File("partb.p"), BuildP(TriangleP(10)));
  test::WriteBytes(dir.File("good.a"), BuildFieldAnimation(3, kGoodFrames));
  test::WriteBytes(dir.File("two_bones.a"), BuildFieldAnimation(2, {{{1, 2, 3}, {4, 5, 6}}}));
  Bytes cut = BuildFieldAnimation(3, kGoodFrames);
  cut.resize(cut.size() - 4);
  test::WriteBytes(dir.File("cut.a"), cut);
}

TEST(HrcLoader, ThreeBonesWithPartsAndAnimationsLoadWhatExists) {
  test::TempDir dir;
  WriteFieldModel(dir);
  test::LogCapture log;
  Loaded loaded(dir.File("skel.hrc"), TYPE_HRC);
  ASSERT_EQ(loaded.result, 1) << log.Text();
  ModelData& model = loaded.Model();
  EXPECT_EQ(model.joints_count, 4u);
  ASSERT_EQ(model.bones_count, 3u);
  const double lengths[] = {1.5, 2, 3};
  for (uint32_t b = 0; b < 3; ++b) {
    BoneRecord bone{};
    model.GetBoneInfo(b, &bone);
    EXPECT_DOUBLE_EQ(bone.length, lengths[b]) << b;
  }
  // Each bone's parts are one object that the bone owns; the bone without
  // parts leaves no object behind once the model is checked.
  ASSERT_EQ(model.CheckModel(), 1);
  ASSERT_EQ(model.objects_count, 2u);
  const ObjectRecord first = ObjectOf(model, 0), second = ObjectOf(model, 1);
  EXPECT_STREQ(first.name, "b1");
  EXPECT_EQ(first.owner, 0);
  EXPECT_STREQ(second.name, "b2");
  EXPECT_EQ(second.owner, 1);
  EXPECT_EQ(second.first_vertex, 3u);
  EXPECT_EQ(PolygonOf(model, 1), (std::vector<uint32_t>{3, 5, 4}));
  // The textured group points at the part's second texture.
  model.relative_reads = 0;
  model.GetMaterial(static_cast<uint32_t>(model.GetPolygonMaterial(0)));
  ASSERT_GE(model.material.texture, 0);
  EXPECT_EQ(model.Texture(static_cast<uint32_t>(model.material.texture)).full_name, dir.File("face.tex"));
  EXPECT_EQ(model.Texture(static_cast<uint32_t>(model.material.texture)).kind, 1u);  // no such file: placeholder
  EXPECT_EQ(Occurrences(log.ErrorText(), "(could not open)"), 1u);
  EXPECT_TRUE(log.Contains("2 of 3 model files loaded\n"));
  // Of the animations only the good one loads.
  EXPECT_TRUE(log.Contains("anim file bones (2) != model bones (3)"));
  EXPECT_TRUE(log.Contains(" anim file has a bad size(" + std::to_string(fs::file_size(dir.File("cut.a"))) +
                           ") should be (" + std::to_string(fs::file_size(dir.File("good.a"))) + ")"));
  EXPECT_TRUE(log.Contains("1 of 3 animation files loaded\n"));
  EXPECT_EQ(model.anim_frames_count, 2u);
  ASSERT_EQ(model.animation_segments_count, 1u);
  EXPECT_EQ(SegmentName(model, 0), "good");
  EXPECT_EQ(model.animation_segment.frames, 2u);
  EXPECT_EQ(model.bone_animation_present, 1u);
  EXPECT_EQ(model.SkeletOwningType, so_objects);
}

// The joints posed at a frame are where the rotations put them, worked out
// by hand: a file's (x, y, z) turns the bone's offset (0, 0, -length) in the
// (y, z) plane by x and in the (x, z) plane by -y, and every joint also by
// the rotations of the bones above it.
TEST(HrcLoader, PosedJointsAreWhereTheRotationsPutThem) {
  test::TempDir dir;
  WriteFieldModel(dir);
  Loaded loaded(dir.File("skel.hrc"), TYPE_HRC);
  ASSERT_EQ(loaded.result, 1);
  ModelData& model = loaded.Model();
  const struct {
    float frame;
    std::array<double, 3> joints[3];
  } cases[] = {
      {0, {{0, 1.5, 0}, {0, 3.5, 0}, {0, 0, -3}}},
      {1, {{0, 0, -1.5}, {-2, 0, -1.5}, {0, 3, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.frame);
    ASSERT_EQ(model.CalcJoints(c.frame), 1);
    for (uint32_t j = 0; j < 3; ++j) {
      double x = 0, y = 0, z = 0;
      model.GetJointPosition(j + 1, x, y, z);
      EXPECT_NEAR(x, c.joints[j][0], 1e-5) << "joint " << j + 1;
      EXPECT_NEAR(y, c.joints[j][1], 1e-5) << "joint " << j + 1;
      EXPECT_NEAR(z, c.joints[j][2], 1e-5) << "joint " << j + 1;
    }
  }
}

// A part moves with the bone that owns it: the hip turned by y = 90 swings
// from pointing down -z to pointing down -x, and the part's vertexs with it
// (a vertex on the rotation axis stays).
TEST(HrcLoader, PosedVertexsFollowTheirBone) {
  test::TempDir dir;
  test::WriteText(dir.File("one.hrc"), ":HEADER_BLOCK 2\n:SKELETON s\n:BONES 1\nhip\nroot\n1.5\n1 HIP\n");
  test::WriteText(dir.File("HIP.rsd"), RsdText("HIP.PLY", {}));
  PContent part = TriangleP(0);
  part.vertexs = {{0, 0, -1}, {1, 0, 0}, {0, 1, 0}};
  test::WriteBytes(dir.File("HIP.P"), BuildP(part));
  test::WriteBytes(dir.File("turn.a"), BuildFieldAnimation(1, {{{0, 90, 0}}}));
  Loaded loaded(dir.File("one.hrc"), TYPE_HRC);
  ASSERT_EQ(loaded.result, 1);
  ModelData& model = loaded.Model();
  ASSERT_EQ(model.anim_frames_count, 1u);
  model.current_frame = 0;
  const std::vector<double> expected[] = {{-1, 0, 0}, {0, 0, -1}, {0, 1, 0}};
  for (uint32_t v = 0; v < 3; ++v) {
    const std::vector<double> posed = VertexOf(model, v);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(posed[k], expected[v][k], 1e-5) << "vertex " << v << " [" << k << "]";
  }
  model.current_frame = -2;
  EXPECT_EQ(VertexOf(model, 0), (std::vector<double>{0, 0, -1}));
}

TEST(HrcLoader, AWrongHeaderLineFailsTheLoad) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"", " Error, could not read header1"},
      {":SKELETON x\n", " Error, could not read header1"},
      {":HEADER_BLOCK 2\n:BONES 3\n", " Error, could not read header2"},
      {":HEADER_BLOCK 2\n:SKELETON x\n\n", " Error, could not read header3"},
      {":HEADER_BLOCK 2\n:SKELETON x\n:BONE 1\n", " Error, could not read header3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    test::TempDir dir;
    test::WriteText(dir.File("bad.hrc"), c.text);
    test::LogCapture log;
    Loaded loaded(dir.File("bad.hrc"), TYPE_HRC);
    EXPECT_EQ(loaded.result, 0);
    EXPECT_TRUE(log.Contains(c.message)) << log.ErrorText();
  }
}

// A skeleton that announces more bones than it holds keeps those it has.
TEST(HrcLoader, AShortSkeletonKeepsTheBonesItHolds) {
  test::TempDir dir;
  test::WriteText(dir.File("short.hrc"), ":HEADER_BLOCK 2\n:SKELETON s\n:BONES 4000000000\nb1\nroot\n1\n0\nb2\nb1\n");
  test::LogCapture log;
  Loaded loaded(dir.File("short.hrc"), TYPE_HRC);
  EXPECT_EQ(loaded.result, 1);
  EXPECT_TRUE(log.Contains(" Unexpected end of file ! only 1 of 4000000000 body parts loaded !\n"));
  EXPECT_EQ(loaded.Model().bones_count, 1u);
}

// "Only correct ones" steps the last part's or texture's name as a counter
// (fourth letter A..F, then the third) and stops at the first name missing.
TEST(HrcLoader, OnlyCorrectAnimationsFollowTheNameCounter) {
  const struct {
    std::vector<std::string> textures;
    std::vector<std::string> files;
    std::vector<std::string> segments;
  } cases[] = {
      {{}, {"AAAC.a", "aaad.a", "AAAF.a"}, {"AAAC", "aaad"}},
      {{"ABAF.TIM"}, {"ABBA.a", "ABBB.a", "ABBD.a"}, {"ABBA", "ABBB"}},
      {{}, {"AAAB.a", "AAAD.a"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.files.front());
    test::TempDir dir;
    test::WriteText(dir.File("one.hrc"), ":HEADER_BLOCK 2\n:SKELETON s\n:BONES 1\nhip\nroot\n1\n1 AAAB\n");
    test::WriteText(dir.File("AAAB.rsd"), RsdText("AAAB.PLY", c.textures));
    test::WriteBytes(dir.File("AAAB.P"), BuildP(TriangleP(0)));
    for (const std::string& file : c.files) test::WriteBytes(dir.File(file), BuildFieldAnimation(1, {{{1, 2, 3}}}));
    test::LogCapture log;
    Loaded loaded(dir.File("one.hrc"), TYPE_HRC, Options(0));
    ASSERT_EQ(loaded.result, 1);
    ModelData& model = loaded.Model();
    ASSERT_EQ(model.animation_segments_count, c.segments.size());
    for (size_t s = 0; s < c.segments.size(); ++s) {
      EXPECT_EQ(SegmentName(model, static_cast<int32_t>(s)), c.segments[s]);
      EXPECT_EQ(model.animation_segment.first_frame, s);
    }
    EXPECT_TRUE(log.Contains(" No more anims can be found\n"));
  }
}

// The real animation of a 21-bone field skeleton loads as one segment.
TEST(HrcLoader, ARealAnimationLoadsBesideAMatchingSkeleton) {
  const fs::path animation = test::CorpusDir() / "models/ff7/reference.a";
  if (!fs::exists(animation)) GTEST_SKIP() << "no corpus";
  test::TempDir dir;
  std::string text = ":HEADER_BLOCK 2\n:SKELETON s\n:BONES 21\n";
  for (int b = 0; b < 21; ++b)
    text += "bone" + std::to_string(b) + "\n" + (b ? "bone" + std::to_string(b - 1) : std::string("root")) + "\n1\n0\n";
  test::WriteText(dir.File("chain.hrc"), text);
  fs::copy_file(animation, dir.File("reference.a"));
  test::LogCapture log;
  Loaded loaded(dir.File("chain.hrc"), TYPE_HRC);
  ASSERT_EQ(loaded.result, 1);
  EXPECT_TRUE(log.Contains(". 21 bones and 80 frames..")) << log.Text();
  EXPECT_EQ(loaded.Model().anim_frames_count, 80u);
  EXPECT_EQ(SegmentName(loaded.Model(), 0), "reference");
  EXPECT_EQ(loaded.Model().CalcJoints(40), 1);
}

// Every real FF7 model loads, converts to OFF, OBJ and 3DS, and assimp reads
// each back with the polygons we loaded.
TEST(Ff7Corpus, EveryModelLoadsAndConvertsToOffObjAnd3ds) {
  const std::vector<test::CorpusEntry> files = test::CorpusFiles("models/ff7/");
  if (files.empty()) GTEST_SKIP() << "no corpus";
  int models = 0;
  for (const test::CorpusEntry& entry : files) {
    if (entry.expected_type == TYPE_UNKNOWN) continue;  // the animation: read beside a skeleton above
    ++models;
    SCOPED_TRACE(entry.path);
    const std::string source = (test::CorpusDir() / entry.path).string();
    test::TempDir dir;
    const std::string off = dir.File("out.off");
    test::LogCapture log;
    Loaded loaded(source, entry.expected_type);
    ASSERT_EQ(loaded.result, 1) << log.ErrorText();
    ModelData& model = loaded.Model();
    if (entry.path == "models/ff7/cloud_field/aaaa.hrc") {
      EXPECT_TRUE(log.Contains("1 of 15 model files loaded\n"));
      EXPECT_EQ(Occurrences(log.ErrorText(), "(could not open)"), 14u);
      EXPECT_EQ(model.bones_count, 21u);
      EXPECT_STREQ(ObjectOf(model, 0).name, "hip");
      EXPECT_EQ(ObjectOf(model, 0).owner, 0);
    }
    if (entry.path == "models/ff7/test_hrc_simple.hrc") {
      EXPECT_TRUE(log.Contains("0 of 5 model files loaded\n"));
      EXPECT_EQ(Occurrences(log.ErrorText(), "(could not open)"), 5u);
    }
    ASSERT_EQ(loaded.Converter().FixData(), 1);
    ASSERT_EQ(loaded.Converter().SaveFile(off.c_str(), TYPE_OFF), 1);
    const uint32_t polygons = model.polygons_count;
    if (entry.expected_type == TYPE_FF7_P) {
      EXPECT_GT(polygons, 0u);
    }
    if (!test::HaveProgram("assimp") || polygons == 0) continue;
    EXPECT_EQ(AssimpFaces(off), static_cast<long>(polygons));
    // Converted afresh to the interchange formats, the same triangles reach assimp.
    for (const auto& [name, destination] : {std::pair{"out.obj", TYPE_OBJ}, std::pair{"out.3ds", TYPE_3DS}}) {
      const std::string path = dir.File(name);
      Loaded again(source, entry.expected_type);
      ASSERT_EQ(again.result, 1);
      ASSERT_EQ(again.Converter().FixData(), 1);
      ASSERT_EQ(again.Converter().SaveFile(path.c_str(), destination), 1) << name;
      EXPECT_EQ(AssimpFaces(path), static_cast<long>(polygons)) << name;
    }
  }
  EXPECT_GE(models, 6);
}

}  // namespace
}  // namespace zepcon::ff7_test
