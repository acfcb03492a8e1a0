// Small models and read-outs shared by the model processing tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/model_data.h"
#include "support/test_support.h"

namespace zepcon::model_test {

template <class... T>
std::vector<double> Values(T... values) {
  return {static_cast<double>(values)...};
}

class ModelTest : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_EQ(model.InitData(), 1);
    model.relative_writes = 0;  // the tests give absolute indexes
  }
  void TearDown() override { model.DestroyData(); }

  std::vector<double> Vertex(uint32_t index) {
    double x = -9, y = -9, z = -9;
    EXPECT_EQ(model.ReadVertex(index, x, y, z), 1) << index;
    return Values(x, y, z);
  }
  std::vector<uint32_t> Polygon(uint32_t polygon) {
    uint32_t count = 0;
    std::vector<uint32_t> list(64);
    model.ReadPolygon(polygon, &count, list.data(), static_cast<uint32_t>(list.size()));
    list.resize(count);
    return list;
  }
  void AddPolygon(std::vector<uint32_t> vertexes) {
    ASSERT_EQ(model.StorePolygon(static_cast<uint32_t>(vertexes.size()), vertexes.data()), 1);
  }
  void AddMaterials(int count) {
    for (int i = 0; i < count; ++i) {
      model.ResetMaterial();
      model.material.diffuse[0] = static_cast<uint8_t>(i);
      ASSERT_GE(model.AddMaterial(), 0);
    }
  }
  // Unit cube around the origin, six quads wound so that (p2 - p1) x (p3 - p1)
  // points out of the cube. Vertex x*4 + y*2 + z has coordinates -1 or +1.
  void Cube() {
    for (int i = 0; i < 8; ++i) model.StoreVertex(i & 4 ? 1 : -1, i & 2 ? 1 : -1, i & 1 ? 1 : -1);
    const std::vector<std::vector<uint32_t>> faces = {{4, 6, 7, 5}, {0, 1, 3, 2}, {2, 3, 7, 6},
                                                      {0, 4, 5, 1}, {1, 5, 7, 3}, {0, 2, 6, 4}};
    for (const auto& face : faces) AddPolygon(face);
  }
  std::vector<double> Centre(uint32_t polygon) {
    std::vector<double> sum(3, 0.0);
    const std::vector<uint32_t> corners = Polygon(polygon);
    for (uint32_t v : corners) {
      const std::vector<double> p = Vertex(v);
      for (int c = 0; c < 3; ++c) sum[c] += p[c] / corners.size();
    }
    return sum;
  }
  ObjectRecord Object(uint32_t index) {
    ObjectRecord record{};
    EXPECT_EQ(model.GetObjectInfo(index, &record), 1) << index;
    return record;
  }
  std::string MaterialName(uint32_t index) {
    model.GetMaterial(index);
    return model.material.name;
  }

  ModelData model;
};

inline void ExpectNear(const std::vector<double>& actual, const std::vector<double>& expected,
                       double tolerance, const std::string& what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (size_t i = 0; i < actual.size(); ++i)
    EXPECT_NEAR(actual[i], expected[i], tolerance) << what << " [" << i << "]";
}

}  // namespace zepcon::model_test
