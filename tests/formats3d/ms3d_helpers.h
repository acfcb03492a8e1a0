// Helpers of the Milkshape tests: binary files built from a short
// description, and the parts of a loaded model the tests compare.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "formats3d/games_helpers.h"
#include "formats3d/model_codec_helpers.h"

namespace zepcon::test {

struct Ms3dJoint {
  std::string name, parent;
  std::array<float, 3> rotation{}, position{};
  std::vector<std::array<float, 4>> rotation_keys, position_keys;  // time in seconds, then x, y, z
};

struct Ms3dMaterial {
  std::string name, texture, alpha;
  float diffuse = 1.0f, shininess = 32.0f, transparency = 1.0f;
};

struct Ms3dGroup {
  std::string name;
  std::vector<uint16_t> triangles;
  int8_t material = -1;
};

struct Ms3dFile {
  std::vector<std::array<float, 3>> vertexs;
  std::vector<int8_t> owners;  // per vertex, -1 none (missing entries: none)
  std::vector<std::array<uint16_t, 3>> triangles;
  std::vector<Ms3dGroup> groups;
  std::vector<Ms3dMaterial> materials;
  float fps = 24.0f;
  uint32_t frames = 30;
  std::vector<Ms3dJoint> joints;
  bool keyframer = true;

  // Corner k of triangle t has the normal (0, t, 1) / |(0, t, 1)| and
  // mapping (t + k / 4, k / 2); triangle t is in smoothing group t + 1.
  std::vector<uint8_t> Bytes() const {
    test::Bytes b;
    b.Text("MS3D000000", 10).U32(4);
    b.U16(static_cast<uint32_t>(vertexs.size()));
    for (size_t v = 0; v < vertexs.size(); ++v) {
      b.data.push_back(0);
      for (float c : vertexs[v]) b.F32(c);
      b.data.push_back(static_cast<uint8_t>(v < owners.size() ? owners[v] : -1));
      b.data.push_back(0);
    }
    b.U16(static_cast<uint32_t>(triangles.size()));
    for (size_t t = 0; t < triangles.size(); ++t) {
      b.U16(0);
      for (uint16_t c : triangles[t]) b.U16(c);
      const float length = std::sqrt(1.0f + static_cast<float>(t * t));
      for (int k = 0; k < 3; ++k) b.F32(0).F32(static_cast<float>(t) / length).F32(1 / length);
      for (int k = 0; k < 3; ++k) b.F32(static_cast<float>(t) + k / 4.0f);
      for (int k = 0; k < 3; ++k) b.F32(k / 2.0f);
      b.data.push_back(static_cast<uint8_t>(t + 1));
      b.data.push_back(0);
    }
    b.U16(static_cast<uint32_t>(groups.size()));
    for (const Ms3dGroup& g : groups) {
      b.data.push_back(0);
      b.Text(g.name, 32).U16(static_cast<uint32_t>(g.triangles.size()));
      for (uint16_t t : g.triangles) b.U16(t);
      b.data.push_back(static_cast<uint8_t>(g.material));
    }
    b.U16(static_cast<uint32_t>(materials.size()));
    for (const Ms3dMaterial& m : materials) {
      b.Text(m.name, 32);
      for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 4; ++k) b.F32(c == 1 && k < 3 ? m.diffuse : 0.5f);
      b.F32(m.shininess).F32(m.transparency);
      b.data.push_back(0);
      b.Text(m.texture, 128).Text(m.alpha, 128);
    }
    if (!keyframer) return b.data;
    b.F32(fps).F32(1.0f).U32(frames).U16(static_cast<uint32_t>(joints.size()));
    for (const Ms3dJoint& j : joints) {
      b.data.push_back(0);
      b.Text(j.name, 32).Text(j.parent, 32);
      for (float r : j.rotation) b.F32(r);
      for (float p : j.position) b.F32(p);
      b.U16(static_cast<uint32_t>(j.rotation_keys.size())).U16(static_cast<uint32_t>(j.position_keys.size()));
      for (const auto& key : j.rotation_keys)
        for (float f : key) b.F32(f);
      for (const auto& key : j.position_keys)
        for (float f : key) b.F32(f);
    }
    return b.data;
  }
};

// Two triangles over four vertices in two materials (the second textured
// when a texture name is given), one group per material.
inline Ms3dFile TwoMaterialQuad(const std::string& texture = "") {
  Ms3dFile file;
  file.vertexs = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  file.triangles = {{0, 1, 2}, {0, 2, 3}};
  file.groups = {{"first", {0}, 0}, {"second", {1}, 1}};
  file.materials = {{"red", "", "", 1.0f, 64.0f, 1.0f}, {"skin", texture, "", 0.5f, 10.0f, 0.5f}};
  return file;
}

inline std::vector<uint32_t> JointNamesAndParents(ModelData& model, std::vector<std::string>* names,
                                                  std::vector<std::string>* parents) {
  std::vector<uint32_t> order;
  for (uint32_t j = 0; j < model.joints_count; ++j) {
    JointRecord record{}, parent{};
    model.GetJointInfo(j, &record);
    model.GetJointInfo(static_cast<uint32_t>(model.GetParentJoint(static_cast<int32_t>(j))), &parent);
    names->push_back(record.name);
    parents->push_back(j == 0 ? "-" : parent.name);
    order.push_back(j);
  }
  return order;
}

inline std::array<double, 3> JointAt(ModelData& model, const std::string& name) {
  for (uint32_t j = 0; j < model.joints_count; ++j) {
    JointRecord record{};
    model.GetJointInfo(j, &record);
    if (name == record.name) return {record.position[0], record.position[1], record.position[2]};
  }
  ADD_FAILURE() << "no joint " << name;
  return {0, 0, 0};
}

// Position of vertex `v` in animation frame `frame`.
inline std::array<double, 3> AnimatedAt(ModelData& model, float frame, uint32_t v) {
  model.relative_reads = 0;
  std::array<double, 3> p{-99, -99, -99};
  EXPECT_EQ(model.Animation_GetVertexPos(frame, v, p[0], p[1], p[2]), 1);
  return p;
}

// The extent of the model in a few frames of its animation (none when it
// has no animation).
inline std::vector<AssimpReport> AnimatedBoxes(const std::string& path, int type) {
  std::vector<AssimpReport> boxes;
  EXPECT_EQ(LoadThroughPipeline(path, type, [&boxes](ModelData& m) {
              const uint32_t frames = m.anim_frames_count;
              for (uint32_t f : {0u, frames / 3, 2 * frames / 3, frames - 1}) {
                if (frames == 0) break;
                m.current_frame = static_cast<float>(f);
                boxes.push_back(ReportOf(TrianglesOf(m)));
              }
              m.current_frame = -2.0f;
            }),
            1);
  return boxes;
}

}  // namespace zepcon::test
