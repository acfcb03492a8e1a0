#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <algorithm>
#include <cctype>

#include "formats3d/model_codec_helpers.h"
#include "formats3d/ms3d_helpers.h"
#include "formats3d/ms3d_skeleton.h"

namespace zepcon::test {
namespace {

constexpr double kPi = 3.14159265358979323846;

ModelData& Loaded(FreshModel& fresh, const Ms3dFile& file) {
  EXPECT_EQ(LoadFromBytes(fresh.model, LoadMs3d, file.Bytes()), 1);
  return fresh.model;
}

// Triangles, their corner normals and mapping, and the materials the
// groups give them; colours, shininess and transparency as bytes.
TEST(Ms3dLoader, GeometryGroupsAndMaterials) {
  FreshModel fresh;
  ModelData& m = Loaded(fresh, TwoMaterialQuad());
  ASSERT_EQ(m.vertexs_count, 4u);
  ASSERT_EQ(m.polygons_count, 2u);
  ASSERT_EQ(m.materials_count, 2u);
  EXPECT_EQ(m.GetPolygonMaterial(0), 0);
  EXPECT_EQ(m.GetPolygonMaterial(1), 1);
  EXPECT_EQ(PolygonPoints(m, 1), (std::vector<uint32_t>{0, 2, 3}));
  uint32_t first = 0, count = 0;
  ASSERT_EQ(m.ReadPolygonPointData(1, first, count), 1);
  Vec3d normal{};
  double s = 0, t = 0;
  m.GetPointNormal(first + 2, normal);
  m.GetPointTexcoord(first + 2, s, t);
  EXPECT_NEAR(normal.y, std::sqrt(0.5), 1e-6);  // as the file has it
  EXPECT_NEAR(normal.z, std::sqrt(0.5), 1e-6);
  EXPECT_DOUBLE_EQ(s, 1.5);
  EXPECT_DOUBLE_EQ(t, 1.0);
  const struct {
    uint32_t index;
    uint8_t diffuse, shininess, transparency;
  } cases[] = {{0, 255, 128, 255}, {1, 127, 20, 127}};
  for (const auto& c : cases) {
    m.GetMaterial(c.index);
    EXPECT_EQ(m.material.diffuse[0], c.diffuse) << c.index;
    EXPECT_EQ(m.material.ambient[0], 127) << c.index;
    EXPECT_EQ(m.material.shininess, c.shininess) << c.index;
    EXPECT_EQ(m.material.transparency, c.transparency) << c.index;
    EXPECT_EQ(m.material.texture, -1) << c.index;
  }
}

// A texture named with a backslash folder is found beside the model; the
// alpha map does not become the texture.
TEST(Ms3dLoader, TextureFromTheModelsFolder) {
  TempDir temp;
  std::filesystem::create_directories(temp.Path() / "maps");
  WriteBytes(temp.Path() / "maps" / "skin.tga", TinyTarga(2, 3, 200));
  Ms3dFile file = TwoMaterialQuad(".\\maps\\skin.tga");
  file.materials[1].alpha = "maps\\skin_alpha.tga";
  WriteBytes(temp.Path() / "quad.ms3d", file.Bytes());
  ASSERT_EQ(LoadThroughPipeline(temp.File("quad.ms3d"), TYPE_MS3D, [](ModelData& m) {
              ASSERT_EQ(m.textures_count, 1u);
              EXPECT_EQ(m.Texture(0).width, 2u);
              EXPECT_EQ(m.Texture(0).height, 3u);
              m.GetMaterial(1);
              EXPECT_EQ(m.material.texture, 0);
            }),
            1);
}

// Joints find their parents by name wherever they stand in the list; a
// missing parent, a joint naming itself and a loop are logged and put at
// the top, and every joint is kept. Rest positions follow the parents'
// rotations.
TEST(Ms3dLoader, JointsByParentName) {
  Ms3dFile file = TwoMaterialQuad();
  Ms3dJoint hand{"hand", "arm", {0, 0, 0}, {0, 2, 0}, {}, {}};
  Ms3dJoint arm{"arm", "", {0, 0, static_cast<float>(kPi / 2)}, {1, 0, 0}, {}, {}};
  Ms3dJoint lost{"lost", "nobody", {}, {5, 0, 0}, {}, {}};
  Ms3dJoint self{"self", "self", {}, {0, 5, 0}, {}, {}};
  Ms3dJoint ping{"ping", "pong", {}, {0, 0, 1}, {}, {}};
  Ms3dJoint pong{"pong", "ping", {}, {0, 0, 2}, {}, {}};
  file.joints = {hand, arm, lost, self, ping, pong};
  FreshModel fresh;
  LogCapture log;
  ModelData& m = Loaded(fresh, file);
  EXPECT_TRUE(log.Contains("names the missing parent [nobody]")) << log.Text();
  EXPECT_TRUE(log.Contains("joint [self] is its own ancestor")) << log.Text();
  ASSERT_EQ(m.joints_count, 7u);  // the root and six
  std::vector<std::string> names, parents;
  JointNamesAndParents(m, &names, &parents);
  const std::map<std::string, std::vector<std::string>> allowed = {
      {"hand", {"arm"}}, {"arm", {""}}, {"lost", {""}}, {"self", {""}},
      // One joint of the loop goes to the top, the other keeps its parent.
      {"ping", {"", "pong"}}, {"pong", {"", "ping"}}};
  for (size_t j = 1; j < names.size(); ++j) {
    const std::vector<std::string>& parents_allowed = allowed.at(names[j]);
    EXPECT_NE(std::find(parents_allowed.begin(), parents_allowed.end(), parents[j]), parents_allowed.end()) << names[j];
  }
  const auto parent_of = [&](const std::string& name) {
    return parents[static_cast<size_t>(std::find(names.begin(), names.end(), name) - names.begin())];
  };
  EXPECT_TRUE(parent_of("ping").empty() || parent_of("pong").empty()) << "the loop was not cut";
  // The arm turned a quarter about z: the hand's (0, 2, 0) points along -x.
  const auto at = JointAt(m, "hand");
  EXPECT_NEAR(at[0], -1.0, 1e-6);
  EXPECT_NEAR(at[1], 0.0, 1e-6);
  EXPECT_NEAR(JointAt(m, "lost")[0], 5.0, 1e-6);
  EXPECT_EQ(m.CheckModel(), 1);
}

// Keys pose the joints and the vertices they own. The arm turns about z
// from 0 at frame 1 to a quarter at frame 3 and is lifted by 1 at frame 3;
// a vertex of the hand (3, 0, 0) in the rest pose:
//   frame 3: arm turned 90 degrees: hand at (0, 2, 1), vertex at (0, 3, 1);
//   frame 2: halfway, 45 degrees, lifted 0.5: vertex at (3 cos 45, 3 sin 45, 0.5).
TEST(Ms3dLoader, KeyframesPoseOwnedVertexs) {
  Ms3dFile file;
  file.vertexs = {{3, 0, 0}, {0, 0, 0}, {1, 0, 0}};
  file.owners = {1, -1, 0};
  file.triangles = {{0, 1, 2}};
  file.fps = 10;
  file.frames = 4;
  Ms3dJoint arm{"arm", "", {}, {0, 0, 0}, {}, {}};
  arm.rotation_keys = {{0.1f, 0, 0, 0}, {0.3f, 0, 0, static_cast<float>(kPi / 2)}};
  arm.position_keys = {{0.1f, 0, 0, 0}, {0.3f, 0, 0, 1}};
  Ms3dJoint hand{"hand", "arm", {}, {2, 0, 0}, {}, {}};
  file.joints = {arm, hand};
  FreshModel fresh;
  ModelData& m = Loaded(fresh, file);
  ASSERT_EQ(m.anim_frames_count, 4u);
  ASSERT_EQ(m.vertex_animation_present, 1u);
  const double c = 3 * std::cos(kPi / 4);
  const struct {
    float frame;  // the model's frame: the file's frame less one
    uint32_t vertex;
    std::array<double, 3> expected;
  } cases[] = {
      {0, 0, {3, 0, 0}},      {2, 0, {0, 3, 1}},   {1, 0, {c, c, 0.5}},
      {3, 0, {0, 3, 1}},      {2, 1, {0, 0, 0}},   {2, 2, {0, 1, 1}},
  };
  for (const auto& k : cases) {
    const auto p = AnimatedAt(m, k.frame, k.vertex);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(p[i], k.expected[i], 1e-5) << "frame " << k.frame << " vertex " << k.vertex;
  }
  // The joints themselves at the file's frame 3, by the same keys.
  std::vector<ms3d::JointSource> joints(2);
  joints[0].name = "arm";
  joints[0].rotation_keys = {{1, {0, 0, 0}}, {3, {0, 0, kPi / 2}}};
  joints[0].position_keys = {{1, {0, 0, 0}}, {3, {0, 0, 1}}};
  joints[1].name = "hand";
  joints[1].parent = "arm";
  joints[1].position[0] = 2;
  const std::vector<int> parents = ms3d::ResolveParents(joints, "test");
  std::vector<ms3d::Pose> world;
  ms3d::PoseJoints(joints, parents, ms3d::ParentsFirst(parents), 3.0, world);
  EXPECT_NEAR(world[1].t[0], 0.0, 1e-9);
  EXPECT_NEAR(world[1].t[1], 2.0, 1e-9);
  EXPECT_NEAR(world[1].t[2], 1.0, 1e-9);
}

// Hostile files: every cut of a small file, counts beyond the file, names
// filling their fields without terminators, triangles and groups naming
// what is not there. Each is logged and survived.
TEST(Ms3dLoader, HostileFilesAreLoggedAndSurvived) {
  Ms3dFile small = TwoMaterialQuad();
  small.joints = {{"a", "", {}, {1, 0, 0}, {{0.1f, 0, 0, 1}}, {}}};
  small.owners = {0, 0};
  ExpectEveryCutLoadsOrFailsWithReason(small.Bytes(), LoadMs3d);

  std::vector<uint8_t> many_vertexs = small.Bytes();
  many_vertexs[14] = 0xFF;
  many_vertexs[15] = 0xFF;
  std::vector<uint8_t> many_keys = small.Bytes();
  many_keys[many_keys.size() - 16 - 4] = 0xFF;  // rotation key count of the joint
  std::vector<uint8_t> bad_magic = small.Bytes();
  bad_magic[0] = 'X';
  for (const auto& [bytes, message] : {std::pair{&many_vertexs, "vertexs run past"},
                                       std::pair{&many_keys, "keys of a joint run past"},
                                       std::pair{&bad_magic, "MS3D000000"}}) {
    FreshModel fresh;
    LogCapture log;
    EXPECT_EQ(LoadFromBytes(fresh.model, LoadMs3d, *bytes), 0) << message;
    EXPECT_TRUE(log.Contains(message)) << log.Text();
  }

  Ms3dFile odd = TwoMaterialQuad();
  const std::string long_name(32, 'n');
  odd.materials[0].name = long_name;
  odd.materials[0].texture = std::string(128, 't');
  odd.groups[0].name = long_name;
  odd.groups[1].material = 9;     // no such material
  odd.groups[0].triangles = {0, 40};  // no such triangle
  odd.triangles.push_back({0, 1, 7});  // no such vertex
  odd.vertexs[1][0] = std::nanf("");
  odd.joints = {{long_name, long_name + "x", {}, {1, 0, 0}, {}, {}}};
  FreshModel fresh;
  LogCapture log;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(LoadFromBytes(fresh.model, LoadMs3d, odd.Bytes()), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ModelData& m = fresh.model;
  EXPECT_EQ(m.polygons_count, 2u);
  EXPECT_TRUE(log.Contains("name vertexs the file does not have")) << log.Text();
  EXPECT_TRUE(log.Contains("name a material the file does not have")) << log.Text();
  EXPECT_TRUE(log.Contains("not finite")) << log.Text();
  EXPECT_EQ(m.GetPolygonMaterial(1), kNoMaterial);
  m.GetMaterial(0);
  EXPECT_EQ(std::string(m.material.name).size(), 32u);
  EXPECT_EQ(VertexAt(m, 1)[0], 0.0);
  EXPECT_EQ(m.CheckModel(), 1);
}

// Writing: one group per material (unused ones empty), each triangle with
// its group, empty texture names for untextured materials, no joints for a
// root-only skeleton, the header and version.
TEST(Ms3dSaver, GroupsMaterialsAndEmptySkeleton) {
  FreshModel fresh;
  ModelData& m = Loaded(fresh, TwoMaterialQuad());
  m.ResetMaterial();
  m.SetMaterialName("unused");
  ASSERT_EQ(m.AddMaterial(), 2);
  std::string written;
  ASSERT_EQ(RunOnFile(m, SaveMs3d, written), 1);
  const std::vector<uint8_t> bytes(written.begin(), written.end());
  ByteReader in(bytes);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(in.Take(10)), 10), "MS3D000000");
  EXPECT_EQ(in.U32Le(), 4u);
  const uint16_t vertexs = in.U16Le();
  ASSERT_GE(vertexs, 4u);  // vertexs shared by two materials are split
  in.Skip(vertexs * 15u);
  ASSERT_EQ(in.U16Le(), 2u);
  std::vector<int> group_of;
  for (int t = 0; t < 2; ++t) {
    in.Skip(68);
    in.U8();
    group_of.push_back(in.U8());
  }
  ASSERT_EQ(in.U16Le(), 3u);
  std::vector<uint16_t> sizes;
  for (int g = 0; g < 3; ++g) {
    in.Skip(33);
    const uint16_t n = in.U16Le();
    sizes.push_back(n);
    for (uint16_t i = 0; i < n; ++i) EXPECT_EQ(group_of[in.U16Le()], g);
    EXPECT_EQ(in.I8(), g);
  }
  EXPECT_EQ(sizes, (std::vector<uint16_t>{1, 1, 0}));
  ASSERT_EQ(in.U16Le(), 3u);
  for (int material = 0; material < 3; ++material) {
    in.Skip(32 + 16 * 4 + 4 + 4 + 1);
    EXPECT_EQ(in.U8(), 0) << "texture name of material " << material;
    in.Skip(127 + 128);
  }
  in.Skip(8);
  EXPECT_EQ(in.U32Le(), 30u);
  EXPECT_EQ(in.U16Le(), 0u);  // the root alone is no joint
  EXPECT_TRUE(in.Ok());
  EXPECT_TRUE(in.AtEnd());
}

// More vertexs than 16 bits count: refused with the reason, nothing written.
TEST(Ms3dSaver, CountsBeyondSixteenBitsAreRefused) {
  FreshModel fresh;
  ModelData& m = fresh.model;
  for (uint32_t v = 0; v < 70002; ++v) m.StoreVertex(v, v % 2, 0);
  for (uint32_t t = 0; t < 70000; t += 7) {
    const uint32_t corners[3] = {t, t + 1, t + 2};
    m.StorePolygon(3, corners);
  }
  m.FinishObjects();
  m.SetModelOrientation(2, 0, 4);
  std::string written;
  LogCapture log;
  EXPECT_EQ(RunOnFile(m, SaveMs3d, written), 0);
  EXPECT_TRUE(written.empty());
  EXPECT_TRUE(log.Contains("the format holds at most 65535")) << log.ErrorText();
}

// Binary -> binary and binary -> text -> binary keep positions, mapping,
// normals, materials with their textures, joints, owners and the animation.
TEST(Ms3dRoundTrip, BinaryAndThroughText) {
  TempDir temp;
  WriteBytes(temp.Path() / "skin.tga", TinyTarga(2, 2, 90));
  Ms3dFile file = TwoMaterialQuad("skin.tga");
  file.owners = {0, 0, 1, -1};
  file.fps = 10;
  file.frames = 3;
  Ms3dJoint arm{"arm", "", {}, {0, 0, 0}, {{0.1f, 0, 0, 0}, {0.3f, 0, 0, static_cast<float>(kPi / 2)}}, {}};
  Ms3dJoint hand{"hand", "arm", {}, {1, 0, 0}, {{0.1f, static_cast<float>(kPi / 2), 0, 0}}, {{0.2f, 0, 0, 1}}};
  file.joints = {arm, hand};
  const std::string source = temp.File("in.ms3d");
  WriteBytes(source, file.Bytes());

  struct Seen {
    std::vector<Triangle> triangles;
    std::vector<std::array<double, 2>> mapping;
    std::vector<Vec3d> normals;
    std::vector<std::string> joints, parents, materials, textures;
    std::vector<std::array<double, 3>> joint_positions, animated;
    std::vector<int> owners;
  };
  const auto see = [](const std::string& path, int type) {
    Seen seen;
    EXPECT_EQ(LoadThroughPipeline(path, type, [&seen](ModelData& m) {
                m.relative_reads = 0;
                for (uint32_t p = 0; p < m.polygons_count; ++p) {
                  uint32_t first = 0, count = 0;
                  m.ReadPolygonPointData(p, first, count);
                  Triangle& t = seen.triangles.emplace_back();
                  for (uint32_t k = 0; k < 3; ++k) {
                    const uint32_t v = m.GetPointVertex(first + k);
                    m.ReadVertex(v, t[3 * k], t[3 * k + 1], t[3 * k + 2]);
                    double s = 0, tc = 0;
                    if (m.point_texcoords_present)
                      m.GetPointTexcoord(first + k, s, tc);
                    else
                      m.GetVertexTexcoord(v, s, tc);
                    seen.mapping.push_back({s, tc});
                    Vec3d normal{};
                    m.GetPointNormal(first + k, normal);
                    seen.normals.push_back(normal);
                    const uint16_t owner = m.GetVertexOwner(v);
                    int16_t from = 0, to = 0;
                    JointRecord joint{};
                    if (owner != kNoOwner && m.GetBoneJoints(owner, from, to) && m.GetJointInfo(to, &joint))
                      seen.owners.push_back(joint.name[0]);
                    else
                      seen.owners.push_back(-1);
                    for (float f = 0; f < 3; ++f) seen.animated.push_back(AnimatedAt(m, f, v));
                  }
                  m.GetMaterial(static_cast<uint32_t>(m.GetPolygonMaterial(p)));
                  seen.materials.push_back(std::to_string(m.material.diffuse[0]) + "/" +
                                           std::to_string(m.material.shininess));
                  seen.textures.push_back(m.material.texture < 0 ? "" : m.Texture(m.material.texture).base_name);
                }
                JointNamesAndParents(m, &seen.joints, &seen.parents);
                for (const std::string& name : seen.joints) seen.joint_positions.push_back(JointAt(m, name));
              }),
              1)
        << path;
    return seen;
  };
  const Seen original = see(source, TYPE_MS3D);
  ASSERT_EQ(original.triangles.size(), 2u);
  ASSERT_EQ(original.joints.size(), 3u);
  ASSERT_EQ(Convert(source, TYPE_MS3D, nullptr, temp.File("binary.ms3d"), TYPE_MS3D), 1);
  ASSERT_EQ(Convert(source, TYPE_MS3D, nullptr, temp.File("text.txt"), TYPE_MS3D_ASCII), 1);
  ASSERT_EQ(Convert(temp.File("text.txt"), TYPE_MS3D_ASCII, nullptr, temp.File("back.ms3d"), TYPE_MS3D), 1);
  EXPECT_TRUE(std::filesystem::exists(temp.File("skin.jpg")));
  for (const auto& [path, type] : {std::pair{temp.File("binary.ms3d"), TYPE_MS3D},
                                   std::pair{temp.File("text.txt"), TYPE_MS3D_ASCII},
                                   std::pair{temp.File("back.ms3d"), TYPE_MS3D}}) {
    SCOPED_TRACE(path);
    const Seen again = see(path, type);
    ASSERT_EQ(again.triangles.size(), original.triangles.size());
    for (size_t t = 0; t < original.triangles.size(); ++t)
      for (int k = 0; k < 9; ++k) EXPECT_NEAR(again.triangles[t][k], original.triangles[t][k], 1e-5);
    for (size_t i = 0; i < original.mapping.size(); ++i)
      for (int k = 0; k < 2; ++k) EXPECT_NEAR(again.mapping[i][k], original.mapping[i][k], 1e-5) << i;
    // Corner normals as they stand (a hard edge between the two triangles).
    ASSERT_EQ(again.normals.size(), original.normals.size());
    for (size_t i = 0; i < original.normals.size(); ++i) {
      EXPECT_NEAR(again.normals[i].x, original.normals[i].x, 1e-5) << i;
      EXPECT_NEAR(again.normals[i].y, original.normals[i].y, 1e-5) << i;
      EXPECT_NEAR(again.normals[i].z, original.normals[i].z, 1e-5) << i;
    }
    ASSERT_EQ(again.animated.size(), original.animated.size());
    for (size_t i = 0; i < original.animated.size(); ++i)
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(again.animated[i][k], original.animated[i][k], 1e-4) << i;
    EXPECT_EQ(again.materials, original.materials);
    EXPECT_EQ(again.textures, original.textures);
    EXPECT_EQ(again.owners, original.owners);
    EXPECT_EQ(again.joints, original.joints);
    EXPECT_EQ(again.parents, original.parents);
    for (size_t j = 0; j < original.joint_positions.size(); ++j)
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(again.joint_positions[j][k], original.joint_positions[j][k], 1e-5);
  }
}

// Every Milkshape binary file of the corpus loads; assimp reads the same
// triangle count and extent from it as from our OBJ and MS3D conversions.
// Our MS3D keeps the animation: the same extent in the same frames.
TEST(Ms3dCorpus, EveryFileLoadsAndAssimpAgrees) {
  std::vector<CorpusEntry> files;
  for (const CorpusEntry& entry : CorpusFiles("models/ms3d/"))
    if (entry.expected_type == TYPE_MS3D) files.push_back(entry);
  if (files.empty()) GTEST_SKIP() << "corpus not present";
  ASSERT_GE(files.size(), 8u);
  const bool assimp = HaveProgram("assimp");
  for (const CorpusEntry& entry : files) {
    SCOPED_TRACE(entry.path);
    const std::string source = (CorpusDir() / entry.path).string();
    std::vector<Triangle> ours;
    ASSERT_EQ(Convert(source, TYPE_MS3D, &ours), 1);
    ASSERT_GT(ours.size(), 0u);
    const AssimpReport reference = ReportOf(ours);
    if (assimp) {
      const AssimpReport source_view = AssimpReportOf(source);
      ASSERT_TRUE(source_view.read);
      EXPECT_EQ(source_view.faces, reference.faces);
      EXPECT_TRUE(SameBox(source_view, reference));
    }
    TempDir temp;
    for (const auto& [name, type] : {std::pair{"out.obj", TYPE_OBJ}, std::pair{"out.ms3d", TYPE_MS3D}}) {
      const std::string written = temp.File(name);
      ASSERT_EQ(Convert(source, TYPE_MS3D, nullptr, written, type), 1) << name;
      std::vector<Triangle> again;
      ASSERT_EQ(Convert(written, type, &again), 1) << name;
      EXPECT_EQ(again.size(), ours.size()) << name;
      if (type == TYPE_MS3D) {
        const std::vector<AssimpReport> before = AnimatedBoxes(source, TYPE_MS3D);
        const std::vector<AssimpReport> after = AnimatedBoxes(written, TYPE_MS3D);
        ASSERT_EQ(after.size(), before.size());
        for (size_t f = 0; f < before.size(); ++f)
          EXPECT_TRUE(SameBox(after[f], before[f])) << "animation box " << f << ": " << after[f].box[0] << " / "
                                                    << before[f].box[0];
      }
      if (!assimp) continue;
      const AssimpReport view = AssimpReportOf(written);
      ASSERT_TRUE(view.read) << name;
      EXPECT_EQ(view.faces, reference.faces) << name;
      EXPECT_TRUE(SameBox(view, reference)) << name << " box " << view.box[0] << " " << view.box[1] << " "
                                            << view.box[2] << " / " << view.box[3] << " " << view.box[4] << " "
                                            << view.box[5];
    }
  }
  if (!assimp) GTEST_SKIP() << "assimp is not installed: its reading was not compared";
}

// The texture names assimp lists for a file, in lower case and sorted.
std::vector<std::string> AssimpTextureRefs(const std::string& path) {
  std::string output, line;
  RunCommand("assimp info '" + path + "' 2>&1", &output);
  std::istringstream lines(output);
  std::vector<std::string> refs;
  bool inside = false;
  while (std::getline(lines, line)) {
    if (line.rfind("Texture Refs:", 0) == 0) {
      inside = true;
      continue;
    }
    const size_t open = line.find('\'');
    if (!inside || open == std::string::npos) {
      if (inside && !line.empty() && line[0] != ' ') inside = false;
      continue;
    }
    std::string name = line.substr(open + 1, line.rfind('\'') - open - 1);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    refs.push_back(name);
  }
  std::sort(refs.begin(), refs.end());
  return refs;
}

// A textured multi-material model of the corpus written as MS3D: assimp
// reads the same triangles, materials and texture names back (the
// textures as the JPEG files written beside it).
TEST(Ms3dCorpus, TexturedModelReadBackByAssimp) {
  const std::string source = (CorpusDir() / "models/3ds/test1/test1.3ds").string();
  if (!std::filesystem::exists(source)) GTEST_SKIP() << "corpus not present";
  if (!HaveProgram("assimp")) GTEST_SKIP() << "assimp is not installed";
  TempDir temp;
  const std::string written = temp.File("test1.ms3d");
  std::vector<Triangle> ours;
  ASSERT_EQ(Convert(source, TYPE_3DS, &ours, written, TYPE_MS3D), 1);
  const AssimpReport original = AssimpReportOf(source), view = AssimpReportOf(written);
  ASSERT_TRUE(view.read);
  // Our 3DS reading is the reference for the triangles (assimp places 3DS
  // meshes by the keyframer's node tree and leaves some out).
  EXPECT_EQ(view.faces, static_cast<double>(ours.size()));
  EXPECT_EQ(view.materials, original.materials);
  std::vector<std::string> expected;
  for (const std::string& name : AssimpTextureRefs(source)) expected.push_back(name.substr(0, name.rfind('.')) + ".jpg");
  ASSERT_EQ(expected.size(), 3u);
  EXPECT_EQ(AssimpTextureRefs(written), expected);
  size_t pictures = 0;
  for (const auto& entry : std::filesystem::directory_iterator(temp.Path()))
    if (entry.path().extension() == ".jpg") {
      ++pictures;
      EXPECT_EQ(Convert(entry.path().string(), TYPE_JPG, nullptr), 1) << entry.path();
    }
  EXPECT_EQ(pictures, 3u);
}

}  // namespace
}  // namespace zepcon::test
