// Oni geometry files: points, normals, coordinates, strips and texture
// resolved in the folder by resource number; references that are missing,
// of another type or broken; cut files; conversions assimp reads back.
#include <gtest/gtest.h>

#include "formats3d/model_codec_helpers.h"
#include "formats3d/oni/oni_instance_builders.h"

namespace zepcon::test {
namespace {

using namespace oni_files;

// A unit quad as one strip and a triangle as another, with normals,
// coordinates and a 2 x 4 texture; every instance in a file of its own.
struct GeometryFolder {
  TempDir dir;
  std::string path = dir.File("00100-crate.M3GM");
  GeometryLinks links{101, 102, 103, 104, 105, 106, 107};

  GeometryFolder() {
    WriteBytes(dir.File("00101-.PNTA"), Points(101, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {5, 5, 2}, {6, 5, 2}, {5, 7, 2}}).data);
    WriteBytes(dir.File("00102-.VCRA"), Vectors(102, {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}}).data);
    WriteBytes(dir.File("00103-.VCRA"), Vectors(103, {{0, 0, 1}}).data);
    WriteBytes(dir.File("00104-.TXCA"), Texcoords(104, {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0.5f, 0.25f}, {0, 0}, {0, 0}}).data);
    WriteBytes(dir.File("00105-.IDXA"), Indexes(105, {0 | kStart, 1, 2, 3, 4 | kStart, 5, 6}).data);
    WriteBytes(dir.File("00106-.IDXA"), Indexes(106, {0, 0, 0}).data);
    WriteBytes(dir.File("00107-wood.TXMP"), Texture(107, 2, 4, 90).data);
    Write();
  }
  void Write() { WriteBytes(path, Geometry(100, links).data); }
};

std::vector<std::vector<double>> Corners(ModelData& m, uint32_t polygon) {
  std::vector<std::vector<double>> corners;
  for (uint32_t v : PolygonPoints(m, polygon)) corners.push_back(VertexAt(m, v));
  return corners;
}

TEST(M3gm, LinkedInstancesMakeOneTexturedObject) {
  GeometryFolder folder;
  LogCapture log;
  ASSERT_EQ(LoadThroughPipeline(folder.path, TYPE_M3GM, [](ModelData& m) {
              EXPECT_EQ(m.vertexs_count, 7u);
              ASSERT_EQ(m.polygons_count, 3u);
              ASSERT_EQ(m.objects_count, 1u);
              ObjectRecord object{};
              m.GetObjectInfo(0, &object);
              EXPECT_STREQ(object.name, "crate");
              // The strip's second triangle turns the other way round.
              EXPECT_EQ(PolygonPoints(m, 0), (std::vector<uint32_t>{0, 1, 2}));
              EXPECT_EQ(PolygonPoints(m, 1), (std::vector<uint32_t>{2, 1, 3}));
              EXPECT_EQ(PolygonPoints(m, 2), (std::vector<uint32_t>{4, 5, 6}));
              EXPECT_EQ(Corners(m, 2)[2], (std::vector<double>{5, 7, 2}));
              Vec3d normal{};
              m.relative_reads = 0;
              ASSERT_EQ(m.GetVertexNormal(5, normal), 1);
              EXPECT_EQ(normal.y, 1.0);
              EXPECT_EQ(m.vert_normals_present, 1u);
              double u = -1, v = -1;
              m.GetVertexTexcoord(4, u, v);
              EXPECT_EQ(u, 0.5);
              EXPECT_EQ(v, 0.25);
              ASSERT_EQ(m.textures_count, 1u);
              EXPECT_EQ(m.Texture(0).kind, 0u);
              EXPECT_EQ(m.Texture(0).width, 2u);
              EXPECT_EQ(m.Texture(0).height, 4u);
              ASSERT_EQ(m.materials_count, 1u);
              char name[64];
              m.GetMaterial(0);
              m.GetMaterialName(name, sizeof name);
              EXPECT_STREQ(name, "wood");
              for (uint32_t p = 0; p < 3; ++p) EXPECT_EQ(m.GetPolygonMaterial(p), 0);
            }),
            1);
  EXPECT_TRUE(log.Contains(" geometry [crate]: 7 points, 3 triangles\n")) << log.Text();
}

// What a geometry can do without is logged and left out; without points or
// strips there is nothing to load.
TEST(M3gm, MissingForeignAndBrokenReferences) {
  const struct {
    const char* what;
    const char* file;  // written over (or, empty content, removed)
    Bytes content;
    int result;
    uint32_t triangles;
    uint32_t normals_present;
    uint32_t textures;
    const char* logged;
  } cases[] = {
      {"no normals", "00102-.VCRA", {}, 1, 3, 0, 1, "VCRA 00102 not found in the folder"},
      {"normals of another count", "00102-.VCRA", Vectors(102, {{0, 0, 1}}), 1, 3, 0, 1, "1 normals for 7 points"},
      {"no texture", "00107-wood.TXMP", {}, 1, 3, 1, 0, "TXMP 00107 not found"},
      {"texture link to another type", "00107-wood.TXMP", {}, 1, 3, 1, 0, "is not a TXMP"},
      {"no points", "00101-.PNTA", {}, 0, 0, 0, 0, "geometry [crate] has no points"},
      {"points past the end", "00101-.PNTA", [] { Bytes b = Points(101, {{0, 0, 0}}); b.PutU32At(0x3C, 0x40000000); return b; }(), 0, 0, 0, 0, "elements pass the end"},
      {"no strips", "00105-.IDXA", {}, 0, 0, 0, 0, "geometry [crate] has no triangles"},
      {"strip naming missing points", "00105-.IDXA", Indexes(105, {0 | kStart, 1, 9, 2 | kStart, 1, 0}), 1, 1, 1, 1, "1 triangles name points the geometry does not have"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    GeometryFolder folder;
    std::filesystem::remove(folder.dir.File(c.file));
    if (!c.content.data.empty()) WriteBytes(folder.dir.File(c.file), c.content.data);
    if (std::string(c.what) == "texture link to another type") {
      folder.links.texture = 104;
      folder.Write();
    }
    LogCapture log;
    uint32_t triangles = 99, normals = 99, textures = 99;
    EXPECT_EQ(LoadThroughPipeline(folder.path, TYPE_M3GM, [&](ModelData& m) {
                triangles = m.polygons_count;
                normals = m.vert_normals_present;
                textures = m.textures_count;
              }),
              c.result);
    EXPECT_TRUE(log.Contains(c.logged)) << log.Text();
    if (c.result) {
      EXPECT_EQ(triangles, c.triangles);
      EXPECT_EQ(normals, c.normals_present);
      EXPECT_EQ(textures, c.textures);
    }
  }
}

// Every prefix of the geometry and of its point and strip instances loads
// or fails with a reason; what loads is sound.
TEST(M3gm, EveryCutFileLoadsOrFailsWithAReason) {
  GeometryFolder folder;
  for (const auto& [file, whole] : {std::pair{std::string("00100-crate.M3GM"), Geometry(100, folder.links)},
                                    std::pair{std::string("00101-.PNTA"), Points(101, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {5, 5, 2}, {6, 5, 2}, {5, 7, 2}})},
                                    std::pair{std::string("00105-.IDXA"), Indexes(105, {0 | kStart, 1, 2, 3, 4 | kStart, 5, 6})}}) {
    for (size_t length = 0; length < whole.Size(); ++length) {
      SCOPED_TRACE(file + " cut at " + std::to_string(length));
      WriteBytes(folder.dir.File(file), std::vector<uint8_t>(whole.data.begin(), whole.data.begin() + length));
      LogCapture log;
      const int result = LoadThroughPipeline(folder.path, TYPE_M3GM, [](ModelData& m) {
        for (uint32_t p = 0; p < m.polygons_count; ++p)
          for (uint32_t v : PolygonPoints(m, p)) ASSERT_LT(v, m.vertexs_count);
      });
      if (result == 0) {
        EXPECT_NE(log.ErrorText(), "") << "failed without a reason";
      }
    }
    WriteBytes(folder.dir.File(file), whole.data);
  }
}

TEST(M3gm, ConversionsToObjAnd3dsAreReadBackWithTheSameTrianglesAndExtent) {
  GeometryFolder folder;
  ExpectObjAnd3dsReadBackByAssimp(folder.path, TYPE_M3GM);
}

}  // namespace
}  // namespace zepcon::test
