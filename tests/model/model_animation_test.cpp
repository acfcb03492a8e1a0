// Vertex and bone animation: stores that only grow, interpolation, posing a
// skeleton and the vertices its bones own, segments.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "model_test_util.h"

namespace zepcon {
namespace {

using model_test::ExpectNear;
using model_test::ModelTest;
using model_test::Values;
using test::LogCapture;

class Animation : public ModelTest {
 protected:
  std::vector<double> AnimatedVertex(float frame, uint32_t v) {
    double x = -9, y = -9, z = -9;
    EXPECT_EQ(model.Animation_GetVertexPos(frame, v, x, y, z), 1);
    return Values(x, y, z);
  }
  std::vector<double> Rotation(float frame, uint32_t bone) {
    double a = -9, b = -9, c = -9;
    EXPECT_EQ(model.GetBoneRot(frame, bone, a, b, c), 1);
    return Values(a, b, c);
  }
  std::vector<double> Joint(uint32_t j) {
    double x = -9, y = -9, z = -9;
    model.GetJointPosition(j, x, y, z);
    return Values(x, y, z);
  }
  // Root 0 at the origin, joint 1 a bone of length 2 away, joint 2 a bone of
  // length 3 beyond; bone 0 turns 90 degrees in the (x, z) pair in frame 0.
  void Chain() {
    model.AddJoint(0, 0, -2, "j1");
    model.AddJoint(0, 0, -5, "j2");
    model.AddBone(0, 1, 2.0);
    model.AddBone(1, 2, 3.0);
    model.bone_animation_present = 1;
    ASSERT_EQ(model.SetAnimFramesCount(2), 1);
    ASSERT_EQ(model.SetAnimBonesCount(2), 1);
    model.SetBoneRot(0, 0, 0, 90, 0);
  }
};

TEST_F(Animation, VertexPositionsInterpolateAndSurviveGrowth) {
  ASSERT_EQ(model.SetAnimVertCount(2), 1);
  ASSERT_EQ(model.SetAnimFramesCount(3), 1);
  model.Animation_SetVertexPos(1, 0, 0, 0, 0);
  model.Animation_SetVertexPos(2, 0, 4, 0, 0);
  model.Animation_SetVertexPos(0, 1, 7, 8, 9);
  model.Animation_SetVertexPos(2, 1, -1, -2, -3);
  EXPECT_EQ(AnimatedVertex(1.25f, 0), Values(1, 0, 0));
  // The last frame is not interpolated toward the scratch frame after it.
  model.Animation_SetVertexPos(UINT32_MAX, 0, 100, 100, 100);
  EXPECT_EQ(AnimatedVertex(2.5f, 0), Values(4, 0, 0));
  EXPECT_EQ(AnimatedVertex(-1.0f, 0), Values(100, 100, 100));

  LogCapture log;
  EXPECT_EQ(model.SetAnimVertCount(1), 1);
  EXPECT_EQ(model.SetAnimFramesCount(2), 1);
  EXPECT_EQ(Values(model.anim_vert_count, model.anim_frames_count), Values(2, 3));
  EXPECT_TRUE(log.Contains("Why decreasing anim_vert_count ? ")) << log.Text();
  EXPECT_TRUE(log.Contains("Why decreasing anim_frames_count ?")) << log.Text();

  // Wider frames keep every position; the new vertex is at the origin everywhere.
  ASSERT_EQ(model.SetAnimVertCount(3), 1);
  EXPECT_EQ(AnimatedVertex(0, 1), Values(7, 8, 9));
  EXPECT_EQ(AnimatedVertex(2, 1), Values(-1, -2, -3));
  EXPECT_EQ(AnimatedVertex(2, 0), Values(4, 0, 0));
  for (float f : {0.0f, 1.0f, 2.0f}) EXPECT_EQ(AnimatedVertex(f, 2), Values(0, 0, 0));
  ASSERT_EQ(model.SetAnimFramesCount(4), 1);
  EXPECT_EQ(AnimatedVertex(3, 1), Values(0, 0, 0));
  EXPECT_EQ(AnimatedVertex(2, 1), Values(-1, -2, -3));

  log.Clear();
  double x = 0, y = 0, z = 0;
  EXPECT_EQ(model.Animation_GetVertexPos(0, 3, x, y, z), 0);
  EXPECT_EQ(model.Animation_GetVertexPos(4.5f, 0, x, y, z), 0);
  EXPECT_EQ(model.Animation_SetVertexPos(5, 0, 1, 1, 1), 0);
  EXPECT_TRUE(log.Contains("Animation_GetVertexPos: vindex > anim_vert_count !!\n"));
  EXPECT_TRUE(log.Contains("Animation_GetVertexPos: frame > anim_frame_count !!\n"));
  EXPECT_TRUE(log.Contains("Animation_SetVertexPos: frame > anim_frame_count !!\n"));
}

TEST_F(Animation, StoresRefuseCountsBeyondTheirLimit) {
  LogCapture log;
  EXPECT_EQ(model.SetAnimVertCount(100000), 1);
  EXPECT_EQ(model.SetAnimFramesCount(1000000), 0);
  EXPECT_EQ(model.anim_frames_count, 0u);
  EXPECT_TRUE(log.Contains("Could not resize vert anim field\n"));
  EXPECT_TRUE(log.Contains("vert anim memory too small, max data: 2400000, frames(1000000+1)*verts(100000)="))
      << log.Text();
}

TEST_F(Animation, BoneAnglesTakeTheShortWayRound) {
  ASSERT_EQ(model.SetAnimFramesCount(3), 1);
  ASSERT_EQ(model.SetAnimBonesCount(1), 1);
  model.SetBoneRot(0, 0, 350, 10, 90);
  model.SetBoneRot(1, 0, 10, 350, 270);
  model.SetBoneRot(2, 0, 20, 30, 40);
  EXPECT_EQ(Rotation(0.5f, 0), Values(360, 0, 0));    // not 180, 180 and 180
  EXPECT_EQ(Rotation(1.25f, 0), Values(12.5, 350 + 10, 270 + 32.5));
  EXPECT_EQ(Rotation(2.5f, 0), Values(20, 30, 40));  // the last frame is not interpolated
  LogCapture log;
  double a = 0, b = 0, c = 0;
  EXPECT_EQ(model.GetBoneRot(3.0f, 0, a, b, c), 0);
  EXPECT_EQ(model.GetBoneRot(0.0f, 1, a, b, c), 0);
  EXPECT_EQ(model.SetBoneRot(3, 0, 1, 1, 1), 0);
  for (const char* message : {"GetBoneRot: frame > frames_count\n", "GetBoneRot: bone > bones_count\n",
                              "SetBoneRot: frame > frames_count\n"})
    EXPECT_TRUE(log.Contains(message)) << message;
}

TEST_F(Animation, ChainedJointsFollowEveryBoneUpToTheRoot) {
  Chain();
  ASSERT_EQ(model.CalcJoints(0.0f), 1);
  ExpectNear(Joint(1), Values(2, 0, 0), 1e-6, "joint 1");
  ExpectNear(Joint(2), Values(5, 0, 0), 1e-6, "joint 2");
  EXPECT_EQ(Joint(0), Values(0, 0, 0));
  // Frame 1 has no rotation at all: straight down -z.
  ASSERT_EQ(model.CalcJoints(1.0f), 1);
  ExpectNear(Joint(2), Values(0, 0, -5), 1e-9, "frame 1");

  model.chained_bone_rotations = 0;
  model.joints_frame = -2.0f;
  ASSERT_EQ(model.CalcJoints(0.0f), 1);
  ExpectNear(Joint(2), Values(2, 0, -3), 1e-6, "own bone only");

  // The same frame again does nothing, even when the joints were moved meanwhile.
  JointRecord moved{};
  model.GetJointInfo(2, &moved);
  moved.position[0] = 42;
  model.SetJointInfo(2, &moved);
  EXPECT_EQ(model.CalcJoints(0.0f), 1);
  EXPECT_EQ(Joint(2)[0], 42);
}

TEST_F(Animation, OwnedVerticesArePosedAndReadAtTheCurrentFrame) {
  Chain();
  model.StoreVertex(0, 0, -1);  // one unit along bone 1
  model.StoreVertex(5, 6, 7);   // owned by no bone
  model.SetVertexOwner(0, 1);
  model.SkeletOwningType = so_vertexs;
  model.current_frame = 0.0f;
  ExpectNear(Vertex(0), Values(3, 0, 0), 1e-6, "posed");
  EXPECT_EQ(Vertex(1), Values(5, 6, 7));
  EXPECT_EQ(model.positions_frame, 0.0f);
  model.current_frame = 1.0f;
  ExpectNear(Vertex(0), Values(0, 0, -3), 1e-9, "frame 1");
  // A frame between frames stays selected: every read of one pass sees one pose.
  model.current_frame = 0.5f;
  const std::vector<double> between = Vertex(0);
  EXPECT_EQ(model.current_frame, 0.5f);
  EXPECT_EQ(Vertex(0), between);

  // Objects owned by bones: the object of bone 1 holds both vertices.
  model.SkeletOwningType = so_objects;
  ObjectRecord object{};
  model.GetObjectInfo(0, &object);
  object.owner = 1;
  object.vertex_count = 2;
  model.SetObjectInfo(0, &object);
  model.current_frame = 0.0f;
  // A quarter turn about y takes (5, 6, 7) to (-7, 6, 5); then joint 1 at (2, 0, 0) is added.
  ExpectNear(Vertex(1), Values(-5, 6, 5), 1e-6, "object owned");
  model.current_frame = -2.0f;
  EXPECT_EQ(Vertex(0), Values(0, 0, -1));  // the stored rest position
}

TEST_F(Animation, SkeletonsThatAreNotOneTreeAreRefused) {
  LogCapture log;
  model.bone_animation_present = 0;
  EXPECT_EQ(model.CalcJoints(0.0f), 0);
  EXPECT_TRUE(log.Contains("CalcJoints: no bones anim\n"));
  model.bone_animation_present = 1;
  EXPECT_EQ(model.CalcJoints(1.0f), 0);
  EXPECT_TRUE(log.Contains("CalcJoints: frame(1) > frames count (0)\n")) << log.Text();

  model.AddJoint(0, 0, 1, "a");
  model.AddJoint(0, 0, 2, "lost");  // no bone reaches it
  model.AddBone(0, 1, 1.0);
  EXPECT_EQ(model.CalcJoints(0.0f), 0);
  EXPECT_TRUE(log.Contains("CalcJoints: skeleton is not consistent ! canceling\n"));

  model.AddBone(1, 2, 1.0);
  model.AddBone(2, 1, 1.0);  // a cycle: the walk would never end
  EXPECT_EQ(model.CalcJoints(0.0f), 0);
  EXPECT_TRUE(log.Contains("CalcJoints: skeleton data are wrong, canceling\n"));
  EXPECT_EQ(Joint(2), Values(0, 0, 2));  // the joints keep their values

  SetUp();
  model.bone_animation_present = 1;
  model.AddJoint(0, 0, 1, "a");
  model.AddBone(0, 1, 1.0);
  model.AddBone(1, 250, 1.0);  // a joint that does not exist
  log.Clear();
  EXPECT_EQ(model.CalcJoints(0.0f), 0);
  EXPECT_EQ(log.Text(), "CalcJoints: skeleton data are wrong, canceling\n");
}

TEST_F(Animation, SegmentsStopAtTheirLimit) {
  for (uint32_t i = 0; i < 300; ++i) {
    std::snprintf(model.animation_segment.name, sizeof model.animation_segment.name, "walk %u", i);
    model.animation_segment.first_frame = i;
    model.animation_segment.frames = 2;
    ASSERT_EQ(model.AddAnimationSegment(), 1);
  }
  LogCapture log;
  EXPECT_EQ(model.AddAnimationSegment(), 0);
  EXPECT_EQ(log.Text(), "Animation segments limit (300) reached\n");
  ASSERT_EQ(model.Animation_GetSegmentInfo(299), 1);
  EXPECT_STREQ(model.animation_segment.name, "walk 299");
  EXPECT_EQ(model.Animation_GetSegmentInfo(300), 0);
  EXPECT_EQ(Values(model.animation_segment.name[0], model.animation_segment.first_frame,
                   model.animation_segment.frames),
            Values(0, 0, 1));
}

}  // namespace
}  // namespace zepcon
