// The cube the preview puts around a model.
#include "ui/preview_walls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "model/model_data.h"

namespace zepcon::ui {
namespace {

TEST(PreviewWalls, CubeSurroundsTheModelWithItsTexturedFaces) {
  for (const int index : {0, 1}) {
    ModelData model;
    ASSERT_TRUE(model.InitData());
    const uint32_t triangle[3] = {model.StoreVertex(0, 0, 0), model.StoreVertex(2, 0, 0), model.StoreVertex(0, 1, 0)};
    ASSERT_TRUE(model.StorePolygon(3, triangle));
    model.FinishObjects();
    ASSERT_EQ(AddOuterWalls(model, index, "/nonexistent/"), 1);
    EXPECT_EQ(model.vertexs_count, 3u + 8u);
    EXPECT_EQ(model.polygons_count, 1u + 6u);
    EXPECT_EQ(model.settings.alpha_activated, 1u);
    // Half side: the largest extent (2) times 3.0 or 2.8, around the centre (1, 0.5, 0).
    const double half = index == 0 ? 6.0 : 5.6;
    double x, y, z;
    ASSERT_TRUE(model.ReadVertex(3, x, y, z));  // v0: all minus
    EXPECT_DOUBLE_EQ(x, 1.0 - half);
    EXPECT_DOUBLE_EQ(y, 0.5 - half);
    EXPECT_DOUBLE_EQ(z, -half);
    ASSERT_TRUE(model.ReadVertex(9, x, y, z));  // v6: all plus
    EXPECT_DOUBLE_EQ(x, 1.0 + half);
    // Every wall carries the wall material and its texture coordinates.
    const int32_t material = model.GetPolygonMaterial(1);
    ASSERT_GE(material, 0);
    for (uint32_t p = 1; p < 7; ++p) EXPECT_EQ(model.GetPolygonMaterial(p), material);
    model.GetMaterial(static_cast<uint32_t>(material));
    EXPECT_GE(model.material.texture, 0);
    const std::string wanted = index == 0 ? "cube.tga" : "cube2.tga";
    const std::string name = model.Texture(static_cast<uint32_t>(model.material.texture)).full_name;
    EXPECT_EQ(name.substr(name.size() - wanted.size()), wanted);
    uint32_t first = 0, count = 0;
    ASSERT_TRUE(model.ReadPolygonPointData(1, first, count));
    double u, v;
    ASSERT_TRUE(model.GetPointTexcoord(first + 1, u, v));  // face 0, second point
    EXPECT_DOUBLE_EQ(u, 0.66);
    EXPECT_DOUBLE_EQ(v, 0.33);
  }
}

TEST(PreviewWalls, BadIndexAddsNothing) {
  ModelData model;
  ASSERT_TRUE(model.InitData());
  model.StoreVertex(0, 0, 0);
  std::vector<std::string> lines;
  SetLogObserver([&lines](std::string_view text, int) { lines.emplace_back(text); });
  EXPECT_EQ(AddOuterWalls(model, 2, "/nonexistent/"), 0);
  SetLogObserver(nullptr);
  EXPECT_EQ(model.vertexs_count, 1u);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], " bad wall index\n");
}

}  // namespace
}  // namespace zepcon::ui
