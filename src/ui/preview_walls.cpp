#include "ui/preview_walls.h"

#include <algorithm>

#include "core/log.h"
#include "model/model_data.h"

namespace zepcon::ui {
namespace {

struct WallFace {
  int vertex[4];
  double uv[4][2];
};

// Each face shows its own third of the wall picture.
constexpr WallFace kFaces[6] = {
    {{0, 1, 2, 3}, {{0.33, 0.33}, {0.66, 0.33}, {0.66, 0}, {0.33, 0}}},
    {{3, 2, 6, 7}, {{0, 0.66}, {0.33, 0.66}, {0.33, 0.33}, {0, 0.33}}},
    {{0, 3, 7, 4}, {{0.66, 0.33}, {1, 0.33}, {1, 0}, {0.66, 0}}},
    {{2, 1, 5, 6}, {{0.33, 0.66}, {0.66, 0.66}, {0.66, 0.33}, {0.33, 0.33}}},
    {{1, 0, 4, 5}, {{0.66, 0.66}, {1, 0.66}, {1, 0.33}, {0.66, 0.33}}},
    {{7, 6, 5, 4}, {{0, 0.33}, {0.33, 0.33}, {0.33, 0}, {0, 0}}},
};

// Corner signs of v0..v7.
constexpr int kCorners[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};

}  // namespace

int AddOuterWalls(ModelData& model, int index, const std::string& folder) {
  LogMessage("Adding outer walls\n", LOG_DETAIL);
  if (index != 0 && index != 1) {
    LogMessage(" bad wall index\n", LOG_ERROR);
    return 0;
  }
  model.settings.alpha_activated = 1;
  if (!model.bounding_box_valid) model.CalculateBoundingBox();

  model.NewObject();
  model.SetObjectName("Outer cube");
  if (index == 1) {
    model.NewObject();
    model.SetObjectName("Outer cube 2");
  }
  model.relative_reads = 0;
  model.relative_writes = 0;
  model.poly_materials_present = 1;
  model.point_texcoords_present = 1;

  model.ResetMaterial();
  const std::string picture = folder + (index == 0 ? "cube.tga" : "cube2.tga");
  model.material.texture = model.LoadTexture(picture.c_str());
  model.material.xsi_value = 200;
  const int32_t material = model.AddMaterial();

  const Vec3d& low = model.bounding_min;
  const Vec3d& high = model.bounding_max;
  const double extent = std::max({high.x - low.x, high.y - low.y, high.z - low.z});
  const double half = extent * (index == 0 ? 3.0 : 2.8);
  const double centre[3] = {(low.x + high.x) / 2, (low.y + high.y) / 2, (low.z + high.z) / 2};

  const uint32_t first_vertex = model.vertexs_count;
  for (const auto& corner : kCorners) {
    const uint32_t v = model.StoreVertex(centre[0] + corner[0] * half, centre[1] + corner[1] * half,
                                         centre[2] + corner[2] * half);
    if (model.vert_materials_present) model.SetVertexMaterial(v, material);
  }
  for (const WallFace& face : kFaces) {
    const uint32_t vertexes[4] = {first_vertex + face.vertex[0], first_vertex + face.vertex[1],
                                  first_vertex + face.vertex[2], first_vertex + face.vertex[3]};
    if (!model.StorePolygon(4, vertexes)) continue;
    const uint32_t polygon = model.polygons_count - 1;
    model.SetPolygonMaterial(polygon, material);
    uint32_t first_point = 0, count = 0;
    if (!model.ReadPolygonPointData(polygon, first_point, count)) continue;
    for (uint32_t k = 0; k < count && k < 4; ++k) {
      model.SetPointTexcoord(first_point + k, face.uv[k][0], face.uv[k][1]);
      if (model.point_materials_present) model.SetPointMaterial(first_point + k, material);
    }
  }

  // Animated models move every vertex per frame: the walls stand still in each.
  if (model.vertex_animation_present && model.anim_frames_count > 0) {
    model.SetAnimVertCount(model.vertexs_count);
    for (uint32_t frame = 0; frame < model.anim_frames_count; ++frame)
      for (uint32_t k = 0; k < 8; ++k)
        model.Animation_SetVertexPos(frame, first_vertex + k, centre[0] + kCorners[k][0] * half,
                                     centre[1] + kCorners[k][1] * half, centre[2] + kCorners[k][2] * half);
  }
  model.FinishObjects();
  return 1;
}

}  // namespace zepcon::ui
