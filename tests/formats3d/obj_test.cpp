#include <gtest/gtest.h>

#include "formats3d/model_codec_helpers.h"

namespace zepcon::test {
namespace {

const char kThreeVertexs[] = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\n";

// Face forms, index forms and line joining: each text gives the points of
// its first polygon.
TEST(ObjLoader, FacesIndexesAndContinuations) {
  const struct {
    const char* text;
    std::vector<uint32_t> points;
    const char* log;
  } cases[] = {
      {"f 1 2 3 4\n", {0, 1, 2, 3}, ""},
      {"f -4 -3 -2\n", {0, 1, 2}, ""},
      {"f 1 \\\n 2 \\\n3\n", {0, 1, 2}, ""},
      {"f 1 2\n", {0, 1, 0}, ""},
      {"fo 2/1 3/1 4/1\n", {1, 2, 3}, ""},
      // Vertex 2^31 and vertex 0 name nothing: left one past the last.
      {"f 1 2147483648 0\n", {0, 4, 4}, "name no vertex"},
      {"o thing\nf 1 2 3\n", {0, 1, 2}, " Line of unknown type [o thing]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    FreshModel fresh;
    LogCapture log;
    ASSERT_EQ(LoadFromText(fresh.model, LoadObj, std::string(kThreeVertexs) + c.text), 1);
    ASSERT_EQ(fresh.model.polygons_count, 1u);
    EXPECT_EQ(PolygonPoints(fresh.model, 0), c.points);
    EXPECT_TRUE(log.Contains(c.log)) << log.Text();
  }
}

TEST(ObjLoader, HundredPointsKeptOfALongerFace) {
  std::string text;
  for (int i = 0; i < 101; ++i) text += "v " + std::to_string(i) + " 0 0\n";
  text += "f";
  for (int i = 1; i <= 101; ++i) text += " " + std::to_string(i);
  FreshModel fresh;
  ASSERT_EQ(LoadFromText(fresh.model, LoadObj, text + "\n"), 1);
  EXPECT_EQ(PolygonPoints(fresh.model, 0).size(), 100u);
}

// Normals and texture coordinates go to the points; v is flipped on
// reading and written back as it was; 1//1 gives normals only.
TEST(ObjLoader, PointNormalsAndTexcoords) {
  FreshModel fresh;
  ASSERT_EQ(LoadFromText(fresh.model, LoadObj,
                         std::string(kThreeVertexs) + "vt 0.25 0.75\nvn 0 0 1\nf 1/1/1 2/1/1 3/1/1\nf 1//1 2//1 3//1\n"),
            1);
  ModelData& m = fresh.model;
  EXPECT_EQ(m.point_normals_present, 1u);
  EXPECT_EQ(m.point_texcoords_present, 1u);
  double u = 0, v = 0;
  ASSERT_EQ(m.GetPointTexcoord(0, u, v), 1);
  EXPECT_DOUBLE_EQ(u, 0.25);
  EXPECT_DOUBLE_EQ(v, 0.25);
  m.GetPointTexcoord(3, u, v);
  EXPECT_EQ(u, kUnsetValue);
  Vec3d n{};
  m.GetPointNormal(4, n);
  EXPECT_DOUBLE_EQ(n.z, 1.0);

  TempDir temp;
  const std::string source = temp.File("tex.obj");
  WriteText(source, std::string(kThreeVertexs) + "vt 0.25 0.75\nvn 0 0 1\nf 1/1/1 2/1/1 3/1/1\nf 1//1 2//1 3//1\n");
  ASSERT_EQ(Convert(source, kObjType, nullptr, temp.File("out.obj"), kObjType), 1);
  const std::string written = ReadText(temp.File("out.obj"));
  EXPECT_NE(written.find("vt 0.250000 0.750000\n"), std::string::npos) << written;
  EXPECT_NE(written.find("f 1/1/1 2/2/2 3/3/3\n"), std::string::npos) << written;
  EXPECT_NE(written.find("f 1//4 2//5 3//6\n"), std::string::npos) << written;
}

// Materials through a library beside the model: colours × 255 on reading,
// / 256 on writing, names made unique, textures written as Targa beside the
// output; the one-object option ignores groups.
TEST(ObjMaterials, LibraryColoursNamesAndObjects) {
  TempDir temp;
  WriteText(temp.File("lib.mtl"),
            "newmtl a\nKd 1 1 1\nKa 0.5 0 0\nmap_Kd -o 0.1 0.2 -clamp on my tex.png \nnewmtl a\nKd 0 1 0\n");
  const std::string source = temp.File("m.obj");
  WriteText(source, std::string("mtllib lib.mtl\n") + kThreeVertexs +
                        "g one\nusemtl a\nf 1 2 3\ng two\nf 1 3 4\n");
  {
    FileConverter converter;
    ASSERT_EQ(converter.InitData(converter.GetDataKind(kObjType)), 1);
    ASSERT_EQ(converter.LoadFile(source.c_str(), kObjType), 1);
    ModelData& m = converter.Model();
    ASSERT_EQ(m.materials_count, 2u);
    m.GetMaterial(0);
    EXPECT_EQ(m.material.diffuse[0], 255);
    EXPECT_EQ(m.material.ambient[0], 127);
    // Map options are passed; the name keeps its blank.
    ASSERT_EQ(m.textures_count, 1u);
    EXPECT_EQ(m.material.texture, 0);
    EXPECT_STREQ(m.Texture(0).base_name, "my tex");
    EXPECT_EQ(m.objects_count, 2u);
    EXPECT_EQ(m.GetPolygonMaterial(1), 0);
    // Names can meet again after loading (the store keeps them apart only
    // while adding): the saver tells them apart once more.
    m.GetMaterial(1);
    m.SetMaterialName("a");
    m.SetMaterial(1);
    ASSERT_EQ(converter.SaveFile(temp.File("out.obj").c_str(), kObjType), 1);
    converter.DestroyData();
  }
  const std::string library = ReadText(temp.File("out.mtl"));
  EXPECT_NE(library.find("newmtl a\n"), std::string::npos) << library;
  EXPECT_NE(library.find("newmtl a#1\n"), std::string::npos) << library;
  EXPECT_NE(library.find("Kd 0.996094 0.996094 0.996094\n"), std::string::npos) << library;
  EXPECT_NE(library.find("map_Kd my tex.tga\n"), std::string::npos) << library;
  EXPECT_TRUE(std::filesystem::exists(temp.File("my tex.tga")));
  EXPECT_NE(ReadText(temp.File("out.obj")).find("mtllib out.mtl\n"), std::string::npos);

  FreshModel fresh;
  fresh.model.settings.obj_one_object = 1;
  ASSERT_EQ(LoadFromText(fresh.model, LoadObj, std::string(kThreeVertexs) + "g one\nf 1 2 3\ng two\nf 1 3 4\n"), 1);
  ASSERT_EQ(fresh.model.objects_count, 1u);
  ObjectRecord object;
  fresh.model.GetObjectInfo(0, &object);
  EXPECT_STREQ(object.name, "Converted object");
}

// Libraries that are no files, or name themselves, are logged and survived.
TEST(ObjMaterials, HostileLibraries) {
  TempDir temp;
  std::filesystem::create_directory(temp.File("folder.mtl"));
  WriteText(temp.File("self.mtl"), "mtllib self.mtl\nnewmtl x\n");
  for (const char* line : {"mtllib folder.mtl\n", "mtllib /dev/zero\n", "mtllib self.mtl\n", "mtllib missing.mtl\n"}) {
    SCOPED_TRACE(line);
    const std::string source = temp.File("h.obj");
    WriteText(source, std::string(line) + kThreeVertexs + "f 1 2 3\n");
    LogCapture log;
    std::vector<Triangle> triangles;
    ASSERT_EQ(Convert(source, kObjType, &triangles), 1);
    EXPECT_EQ(triangles.size(), 1u);
    EXPECT_FALSE(log.ErrorText().empty());
  }
}

TEST(ObjCorpus, EveryFileLoadsAndConverts) { ExpectCorpusConverts("models/obj/", kObjType, 15); }

// OBJ -> 3DS -> OBJ keeps positions, materials and texture coordinates.
TEST(ObjRoundTrip, ThroughThreeDStudio) {
  TempDir temp;
  WriteText(temp.File("lib.mtl"), "newmtl red\nKd 1 0 0\nnewmtl blue\nKd 0 0 1\n");
  const std::string source = temp.File("s.obj");
  WriteText(source, std::string("mtllib lib.mtl\n") + kThreeVertexs +
                        "vt 0.1 0.2\nvt 0.3 0.4\nvt 0.5 0.6\nvt 0.7 0.8\n"
                        "usemtl red\nf 1/1 2/2 3/3\nusemtl blue\nf 1/1 3/3 4/4\n");
  ASSERT_EQ(Convert(source, kObjType, nullptr, temp.File("m.3ds"), k3dsType), 1);
  ASSERT_EQ(Convert(temp.File("m.3ds"), k3dsType, nullptr, temp.File("back.obj"), kObjType), 1);
  FileConverter converter;
  ASSERT_EQ(converter.InitData(converter.GetDataKind(kObjType)), 1);
  ASSERT_EQ(converter.LoadFile(temp.File("back.obj").c_str(), kObjType), 1);
  ModelData& m = converter.Model();
  ASSERT_EQ(m.polygons_count, 2u);
  ASSERT_EQ(m.materials_count, 2u);
  const double expected[2][3][4] = {{{0, 0, 0, 0.1}, {1, 0, 0, 0.3}, {0, 1, 0, 0.5}},
                                    {{0, 0, 0, 0.1}, {0, 1, 0, 0.5}, {0, 0, 1, 0.7}}};
  for (uint32_t p = 0; p < 2; ++p) {
    m.GetMaterial(static_cast<uint32_t>(m.GetPolygonMaterial(p)));
    // The library writes colours as byte / 256: one step is lost on the way.
    EXPECT_NEAR(m.material.diffuse[0], p == 0 ? 255 : 0, 1);
    EXPECT_NEAR(m.material.diffuse[2], p == 0 ? 0 : 255, 1);
    const std::vector<uint32_t> points = PolygonPoints(m, p);
    ASSERT_EQ(points.size(), 3u);
    uint32_t first = 0, count = 0;
    m.ReadPolygonPointData(p, first, count);
    for (uint32_t k = 0; k < 3; ++k) {
      double x, y, z, u, v;
      m.ReadVertex(points[k], x, y, z);
      m.GetPointTexcoord(first + k, u, v);
      EXPECT_NEAR(x, expected[p][k][0], 1e-6);
      EXPECT_NEAR(y, expected[p][k][1], 1e-6);
      EXPECT_NEAR(z, expected[p][k][2], 1e-6);
      EXPECT_NEAR(u, expected[p][k][3], 1e-6);
    }
  }
  converter.DestroyData();
}

}  // namespace
}  // namespace zepcon::test
