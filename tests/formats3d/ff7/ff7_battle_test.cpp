#include <gtest/gtest.h>

#include <filesystem>

#include "formats3d/ff7/ff7_test_util.h"

namespace zepcon::ff7_test {
namespace {

namespace fs = std::filesystem;

struct BattleBone {
  int32_t parent;
  float length;
  uint32_t carries_part;
};

Bytes BuildSkeleton(const std::vector<BattleBone>& bones, uint32_t announced = UINT32_MAX) {
  Bytes b(52, 0);
  StoreLe32(b.data() + 12, announced == UINT32_MAX ? static_cast<uint32_t>(bones.size()) : announced);
  for (const BattleBone& bone : bones) {
    Put32(b, static_cast<uint32_t>(bone.parent));
    PutFloat(b, bone.length);
    Put32(b, bone.carries_part);
  }
  return b;
}

// Per frame: a 23-byte header whose field at 8 is the frame's size, then
// the angles of every bone as 12-bit numbers in one nibble stream that
// starts at nibble 9.
Bytes BuildBattleAnimation(const std::vector<std::vector<std::array<uint16_t, 3>>>& frames) {
  Bytes b;
  Put32(b, static_cast<uint32_t>(frames.size()));
  for (const auto& frame : frames) {
    const size_t nibbles = 9 + 9 * frame.size();
    Bytes data((nibbles + 1) / 2, 0);
    size_t n = 9;
    for (const auto& bone : frame)
      for (uint16_t value : bone)
        for (int shift = 8; shift >= 0; shift -= 4, ++n)
          data[n / 2] |= static_cast<uint8_t>(((value >> shift) & 0xF) << (n % 2 ? 0 : 4));
    Bytes header(23, 0);
    StoreLe32(header.data() + 8, static_cast<uint32_t>(data.size() + 11));
    b.insert(b.end(), header.begin(), header.end());
    b.insert(b.end(), data.begin(), data.end());
  }
  return b;
}

PContent TexturedTriangle() {
  PContent p = TriangleP(0);
  p.texcoords = {{0, 0}, {1, 0}, {0, 1}};
  p.groups[0].textured = 1;
  return p;
}

const std::vector<BattleBone> kThreeBones = {{-1, 1.0f, 1}, {0, 2.0f, 0}, {1, 0.5f, 1}};
const std::vector<std::vector<std::array<uint16_t, 3>>> kFrames = {
    {{1024, 0, 0}, {0, 0, 0}, {0, 0, 0}},
    {{0, 0, 0}, {0, 2048, 4095}, {0, 0, 0}},
};

// A letter-named battle model: parts are searched from ..AM on (..AN and
// ..AO are missing), the textured part's texture is ..AC, the animation ..DA.
void WriteLetterModel(const test::TempDir& dir, bool with_animation) {
  test::WriteBytes(dir.File("RTAA"), BuildSkeleton(kThreeBones));
  test::WriteBytes(dir.File("RTAM"), BuildP(TexturedTriangle()));
  test::WriteBytes(dir.File("rtap"), BuildP(TriangleP(5)));
  if (with_animation) test::WriteBytes(dir.File("RTDA"), BuildBattleAnimation(kFrames));
}

TEST(Ff7BattleLoader, LetterNamedModelWithItsAnimation) {
  test::TempDir dir;
  WriteLetterModel(dir, true);
  test::LogCapture log;
  Loaded loaded(dir.File("RTAA"), TYPE_FF7_BATTLE);
  ASSERT_EQ(loaded.result, 1) << log.ErrorText();
  EXPECT_EQ(log.ErrorText(), "failed opening texture file\n");  // RTAC is not there
  ModelData& model = loaded.Model();
  ASSERT_EQ(model.joints_count, 4u);
  ASSERT_EQ(model.bones_count, 3u);
  // Bones hang from their parents with their lengths pointing down z.
  const double depths[] = {-1, -3, -3.5};
  for (uint32_t j = 1; j <= 3; ++j) {
    double x = 9, y = 9, z = 9;
    model.GetJointPosition(j, x, y, z);
    EXPECT_EQ(x, 0);
    EXPECT_DOUBLE_EQ(z, depths[j - 1]) << j;
  }
  ASSERT_EQ(model.CheckModel(), 1);
  ASSERT_EQ(model.objects_count, 2u);
  EXPECT_STREQ(ObjectOf(model, 0).name, "000 RTAM b0");
  EXPECT_EQ(ObjectOf(model, 0).owner, 0);
  EXPECT_STREQ(ObjectOf(model, 1).name, "001 rtap b2");
  EXPECT_EQ(ObjectOf(model, 1).owner, 2);
  EXPECT_EQ(PolygonOf(model, 1), (std::vector<uint32_t>{3, 5, 4}));
  ASSERT_EQ(model.textures_count, 1u);
  EXPECT_EQ(std::string(model.Texture(0).full_name), dir.File("RTAC"));
  EXPECT_TRUE(log.Contains("2 of 2 model files loaded\n") && log.Contains(" Animation loaded\n"));
  // The three 12-bit numbers (a, b, c) of a bone become the angles
  // (c, -b, a) in steps of 360/4096 degrees.
  ASSERT_EQ(model.anim_frames_count, 2u);
  const struct {
    uint32_t frame, bone;
    double angles[3];
  } rotations[] = {{0, 0, {0, 0, 90}}, {1, 1, {4095 * 0.087890625, -180, 0}}, {1, 0, {0, 0, 0}}};
  for (const auto& r : rotations) {
    double a = 9, b = 9, c = 9;
    model.GetBoneRot(static_cast<float>(r.frame), r.bone, a, b, c);
    EXPECT_DOUBLE_EQ(a, r.angles[0]) << r.frame << " " << r.bone;
    EXPECT_DOUBLE_EQ(b, r.angles[1]) << r.frame << " " << r.bone;
    EXPECT_DOUBLE_EQ(c, r.angles[2]) << r.frame << " " << r.bone;
  }
  EXPECT_EQ(model.bone_animation_present, 1u);
  EXPECT_EQ(model.SkeletOwningType, so_objects);
  EXPECT_EQ(model.CalcJoints(1), 1);
}

TEST(Ff7BattleLoader, WithoutItsAnimationFileTheModelStillLoads) {
  test::TempDir dir;
  WriteLetterModel(dir, false);
  test::LogCapture log;
  Loaded loaded(dir.File("RTAA"), TYPE_FF7_BATTLE);
  ASSERT_EQ(loaded.result, 1);
  EXPECT_TRUE(log.Contains("Could not find animation file [" + dir.File("RTDA") + "]\n")) << log.ErrorText();
  EXPECT_EQ(loaded.Model().anim_frames_count, 0u);
  EXPECT_EQ(loaded.Model().vertexs_count, 6u);
}

// The extension "d" names parts, textures and animation by numbers.
TEST(Ff7BattleLoader, NumberNamedModel) {
  test::TempDir dir;
  test::WriteBytes(dir.File("enemy.d"), BuildSkeleton({{-1, 1.0f, 1}, {0, 1.0f, 1}}));
  test::WriteBytes(dir.File("enemy.p00"), BuildP(TexturedTriangle()));
  test::WriteBytes(dir.File("enemy.p02"), BuildP(TexturedTriangle()));
  test::WriteBytes(dir.File("enemy.a00"), BuildBattleAnimation({{{0, 0, 512}, {256, 0, 0}}}));
  test::LogCapture log;
  Loaded loaded(dir.File("enemy.d"), TYPE_FF7_BATTLE);
  ASSERT_EQ(loaded.result, 1);
  ModelData& model = loaded.Model();
  EXPECT_EQ(model.vertexs_count, 6u);
  ASSERT_EQ(model.textures_count, 2u);
  EXPECT_EQ(std::string(model.Texture(0).full_name), dir.File("enemy.t00"));
  EXPECT_EQ(std::string(model.Texture(1).full_name), dir.File("enemy.t01"));
  double a = 0, b = 0, c = 0;
  model.GetBoneRot(0, 0, a, b, c);
  EXPECT_DOUBLE_EQ(a, 45);
  model.GetBoneRot(0, 1, a, b, c);
  EXPECT_DOUBLE_EQ(c, 22.5);
}

// Damaged skeletons and animations are told and cut to what is sound.
TEST(Ff7BattleLoader, DamagedFilesAreToldAndCut) {
  const struct {
    const char* what;
    Bytes skeleton;
    Bytes animation;
    const char* message;
    uint32_t bones, frames;
  } cases[] = {
      {"bones past the file", BuildSkeleton({{-1, 1, 0}, {0, 1, 0}}, 1000000), {}, "1000000 bones announced, the file holds 2", 2, 0},
      {"parent out of range", BuildSkeleton({{-1, 1, 0}, {7, 1, 0}}), {}, "bone 1 names parent 7, hung on the root", 2, 0},
      {"own parent", BuildSkeleton({{0, 1, 0}}), {}, "bone 0 names parent 0, hung on the root", 1, 0},
      {"short header", Bytes(20, 0), {}, "shorter (20 bytes) than its header", 0, 0},
      {"animation too small", BuildSkeleton(kThreeBones), Bytes(20, 0), " animation data too small", 3, 0},
      {"frames past the file", BuildSkeleton(kThreeBones),
       [] { Bytes b = BuildBattleAnimation(kFrames); StoreLe32(b.data(), 0x10000000); return b; }(),
       "268435456 frames announced", 3, 0},
      {"frame size below its header", BuildSkeleton(kThreeBones),
       [] { Bytes b = BuildBattleAnimation(kFrames); StoreLe32(b.data() + 4 + 8, 3); return b; }(),
       "frame 0 is cut or damaged", 3, 2},
      {"frame too small for its bones", BuildSkeleton(kThreeBones),
       [] { Bytes b = BuildBattleAnimation({{{1, 2, 3}}, {{1, 2, 3}}}); return b; }(),
       "frame 0 holds too few angles", 3, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    test::WriteBytes(dir.File("RTAA"), c.skeleton);
    if (!c.animation.empty()) test::WriteBytes(dir.File("RTDA"), c.animation);
    test::LogCapture log;
    Loaded loaded(dir.File("RTAA"), TYPE_FF7_BATTLE);
    EXPECT_EQ(loaded.result, 1);
    EXPECT_TRUE(log.Contains(c.message)) << log.ErrorText();
    EXPECT_EQ(loaded.Model().bones_count, c.bones);
    EXPECT_EQ(loaded.Model().anim_frames_count, c.frames);
  }
}

// A name that is neither four letters nor "d" is told and read with letters.
TEST(Ff7BattleLoader, AnUnknownNameIsReadWithLetterNames) {
  test::TempDir dir;
  test::WriteBytes(dir.File("model.bin"), BuildSkeleton({{-1, 1, 1}}));
  test::WriteBytes(dir.File("moAM"), BuildP(TriangleP(0)));
  test::LogCapture log;
  Loaded loaded(dir.File("model.bin"), TYPE_FF7_BATTLE);
  ASSERT_EQ(loaded.result, 1);
  EXPECT_TRUE(log.Contains("File type could not be recognized by filename right"));
  EXPECT_EQ(loaded.Model().vertexs_count, 3u);
  EXPECT_TRUE(log.Contains("Could not find animation file [" + dir.File("moDA") + "]"));
}

}  // namespace
}  // namespace zepcon::ff7_test
