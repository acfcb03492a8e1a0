#include <gtest/gtest.h>

#include "formats3d/model_codec_helpers.h"

namespace zepcon::test {
namespace {

const char kCube[] =
    "Ambient light color: Red=0.1 Green=0.1 Blue=0.1\r\n\r\n"
    "Named object: \"Tri one\"\r\nTri-mesh, Vertices: 3     Faces: 1\r\nVertex list:\r\n"
    "Vertex 0:  X:1.0     Y:2.0     Z:-3.5\r\n"
    "Vertex 1:  X: 4 Y: 0 Z: 0\r\n"
    "Vertex 2:  X:0\tY:1\tZ:0\r\n"
    "Face list:\r\nFace 0:    A:0 B:1 C:2 AB:1 BC:1 CA:1\r\nMaterial:\"r6g16b255a0\"\r\nSmoothing:  1\r\n";

TEST(AscLoader, VertexsFacesAndColours) {
  FreshModel fresh;
  ASSERT_EQ(LoadFromText(fresh.model, LoadAsc, kCube), 1);
  ModelData& m = fresh.model;
  ASSERT_EQ(m.vertexs_count, 3u);
  ASSERT_EQ(m.polygons_count, 1u);
  m.relative_reads = 0;
  double x, y, z;
  m.ReadVertex(0, x, y, z);
  EXPECT_EQ(x, 1.0);
  EXPECT_EQ(y, 2.0);
  EXPECT_EQ(z, -3.5);
  m.ReadVertex(1, x, y, z);
  EXPECT_EQ(x, 4.0);
  EXPECT_EQ(PolygonPoints(m, 0), (std::vector<uint32_t>{0, 1, 2}));
  ASSERT_EQ(m.materials_count, 1u);
  m.GetMaterial(static_cast<uint32_t>(m.GetPolygonMaterial(0)));
  EXPECT_EQ(m.material.diffuse[0], 6);
  EXPECT_EQ(m.material.diffuse[1], 16);
  EXPECT_EQ(m.material.diffuse[2], 255);
  ObjectRecord object;
  m.GetObjectInfo(0, &object);
  EXPECT_STREQ(object.name, "Tri one");

  LogCapture log;
  FreshModel bad;
  ASSERT_EQ(LoadFromText(bad.model, LoadAsc, "Vertex list:\nVertex 0: X:a Y:1\n"), 1);
  EXPECT_EQ(bad.model.vertexs_count, 0u);
  EXPECT_TRUE(log.Contains("Could not read vertexs on line [Vertex 0: X:a Y:1]"));
}

// Saved and read again: the same triangle, colour and name.
TEST(AscSaver, WritesWhatItReads) {
  TempDir temp;
  WriteText(temp.File("in.asc"), kCube);
  ASSERT_EQ(Convert(temp.File("in.asc"), kAscType, nullptr, temp.File("out.asc"), kAscType), 1);
  const std::string written = ReadText(temp.File("out.asc"));
  EXPECT_NE(written.find("Named object: \"Tri one\"\n"), std::string::npos) << written;
  EXPECT_NE(written.find("Vertex 0:  X:1.000000\tY:2.000000\tZ:-3.500000\n"), std::string::npos) << written;
  EXPECT_NE(written.find("Face 0: A:0 B:1 C:2 AB:1 BC:1 CA:1\nMaterial:\"r6g16b255a0\"\nSmoothing:  1\n"),
            std::string::npos)
      << written;
}

TEST(AscCorpus, EveryFileLoadsAndConverts) { ExpectCorpusConverts("models/asc/", kAscType, 4); }

}  // namespace
}  // namespace zepcon::test
