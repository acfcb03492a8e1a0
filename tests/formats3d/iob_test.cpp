// Turbo Silver / Imagine objects: hand-made TDDD files (no real file is at
// hand) placed by their position and axes, coloured per face and per
// object, damaged in the ways a reader must survive, and converted to OBJ
// and 3DS for assimp to read back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "core/format_table.h"
#include "core/type_recognition.h"
#include "formats3d/games_helpers.h"
#include "formats3d/lwo_helpers.h"
#include "formats3d/model_codec_helpers.h"

namespace zepcon::test {
namespace {

constexpr int kIobType = 28;

uint32_t Fract(double v) { return static_cast<uint32_t>(static_cast<int32_t>(std::lround(v * 65536.0))); }

struct Point3 {
  double x, y, z;
};

// One object description; `wide` writes the 32-bit chunks of the later form.
struct Desc {
  std::string name;
  Point3 position{0, 0, 0};
  Point3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  std::vector<Point3> points;
  std::vector<uint32_t> edges;  // pairs
  std::vector<uint32_t> faces;  // triples of edge numbers
  std::vector<std::vector<uint8_t>> face_colours;
  std::vector<uint8_t> colour;  // r, g, b when set
  bool wide = false;
};

void Vector(Iff& f, const Point3& p) { f.U32(Fract(p.x)).U32(Fract(p.y)).U32(Fract(p.z)); }

void WriteDesc(Iff& f, const Desc& d) {
  f.Begin("DESC");
  f.Begin("NAME");
  for (size_t i = 0; i < 18; ++i) f.U8(i < d.name.size() ? static_cast<uint8_t>(d.name[i]) : 0);
  f.End();
  f.Begin("SHAP").U16(2).U16(0).End();
  f.Begin("POSI");
  Vector(f, d.position);
  f.End();
  f.Begin("AXIS");
  for (const Point3& a : d.axes) Vector(f, a);
  f.End();
  const auto count = [&](size_t n) { d.wide ? f.U32(static_cast<uint32_t>(n)) : f.U16(static_cast<uint32_t>(n)); };
  const auto index = [&](uint32_t v) { d.wide ? f.U32(v) : f.U16(v); };
  f.Begin(d.wide ? "PNT2" : "PNTS");
  count(d.points.size());
  for (const Point3& p : d.points) Vector(f, p);
  f.End();
  f.Begin(d.wide ? "EDG2" : "EDGE");
  count(d.edges.size() / 2);
  for (uint32_t v : d.edges) index(v);
  f.End();
  f.Begin(d.wide ? "FAC2" : "FACE");
  count(d.faces.size() / 3);
  for (uint32_t v : d.faces) index(v);
  f.End();
  if (!d.colour.empty()) f.Begin("COLR").U8(0).U8(d.colour[0]).U8(d.colour[1]).U8(d.colour[2]).End();
  if (!d.face_colours.empty()) {
    f.Begin("CLST").U16(static_cast<uint32_t>(d.face_colours.size()));
    for (const auto& c : d.face_colours) f.U8(c[0]).U8(c[1]).U8(c[2]);
    f.End();
  }
  f.End();
}

// A square of two faces at (10.5, 0, -1.25) with a red and a green face, and
// its child, a triangle turned a quarter round z, its x axis twice as long,
// at (0, 5, 2), blue as a whole.
Desc Base() {
  Desc d;
  d.name = "Base";
  d.position = {10.5, 0, -1.25};
  d.points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  d.edges = {0, 1, 1, 2, 2, 3, 3, 0, 0, 2};
  d.faces = {0, 1, 4, 4, 2, 3};
  d.face_colours = {{255, 0, 0}, {0, 255, 0}};
  return d;
}

Desc Arm() {
  Desc d;
  d.name = "Arm";
  d.position = {0, 5, 2};
  d.axes[0] = {0, 2, 0};
  d.axes[1] = {-1, 0, 0};
  d.axes[2] = {0, 0, 1};
  d.points = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  d.edges = {0, 1, 1, 2, 2, 0};
  d.faces = {0, 1, 2};
  d.colour = {0, 0, 255};
  return d;
}

// The child's description nests inside its parent's: DESC DESC TOBJ TOBJ.
std::vector<uint8_t> Tddd(const std::vector<Desc>& nested) {
  Iff f;
  f.Begin("FORM").Id("TDDD");
  f.Begin("OBJ ");
  for (const Desc& d : nested) WriteDesc(f, d);
  for (size_t i = 0; i < nested.size(); ++i) f.Begin("TOBJ").End();
  f.End();
  f.End();
  return f.bytes;
}

std::vector<uint8_t> TwoObjects() { return Tddd({Base(), Arm()}); }

std::string ObjectName(ModelData& model, uint32_t index) {
  ObjectRecord record;
  EXPECT_EQ(model.GetObjectInfo(index, &record), 1);
  return record.name;
}

std::vector<uint8_t> ColourOf(ModelData& model, uint32_t polygon) {
  model.relative_reads = 0;
  const int32_t material = model.GetPolygonMaterial(polygon);
  if (material < 0) return {};
  model.GetMaterial(static_cast<uint32_t>(material));
  return {model.material.diffuse[0], model.material.diffuse[1], model.material.diffuse[2]};
}

// The corners of a polygon as positions, in any order.
std::multiset<std::vector<double>> Corners(ModelData& model, uint32_t polygon) {
  std::multiset<std::vector<double>> corners;
  for (uint32_t v : PolygonPoints(model, polygon)) corners.insert(VertexAt(model, v));
  return corners;
}

TEST(Iob, TwoObjectsArePlacedByTheirPositionAndAxesAndColouredPerFace) {
  FreshModel fresh;
  ModelData& model = fresh.model;
  ASSERT_EQ(LoadFromBytes(model, LoadIob, TwoObjects()), 1);
  ASSERT_EQ(model.objects_count, 2u);
  EXPECT_EQ(ObjectName(model, 0), "Base");
  EXPECT_EQ(ObjectName(model, 1), "Arm");
  ASSERT_EQ(model.vertexs_count, 7u);
  ASSERT_EQ(model.polygons_count, 3u);
  // The square's corners moved by its position.
  EXPECT_EQ(VertexAt(model, 0), (std::vector<double>{10.5, 0, -1.25}));
  EXPECT_EQ(VertexAt(model, 2), (std::vector<double>{11.5, 1, -1.25}));
  // The triangle's corners along its own axes: x·(0, 2, 0) + y·(−1, 0, 0) + z·(0, 0, 1) from (0, 5, 2).
  EXPECT_EQ(VertexAt(model, 4), (std::vector<double>{0, 7, 2}));
  EXPECT_EQ(VertexAt(model, 5), (std::vector<double>{-1, 5, 2}));
  EXPECT_EQ(VertexAt(model, 6), (std::vector<double>{0, 5, 3}));
  // Faces are edge triples: the corners are the points the edges share.
  using C = std::multiset<std::vector<double>>;
  EXPECT_EQ(Corners(model, 0), (C{{10.5, 0, -1.25}, {11.5, 0, -1.25}, {11.5, 1, -1.25}}));
  EXPECT_EQ(Corners(model, 1), (C{{10.5, 0, -1.25}, {11.5, 1, -1.25}, {10.5, 1, -1.25}}));
  EXPECT_EQ(Corners(model, 2), (C{{0, 7, 2}, {-1, 5, 2}, {0, 5, 3}}));
  EXPECT_EQ(ColourOf(model, 0), (std::vector<uint8_t>{255, 0, 0}));
  EXPECT_EQ(ColourOf(model, 1), (std::vector<uint8_t>{0, 255, 0}));
  EXPECT_EQ(ColourOf(model, 2), (std::vector<uint8_t>{0, 0, 255}));
  EXPECT_EQ(model.poly_materials_present, 1u);
  EXPECT_EQ(model.CheckModel(), 1);
}

TEST(Iob, TheLaterThirtyTwoBitChunksGiveTheSameModel) {
  Desc base = Base(), arm = Arm();
  base.wide = arm.wide = true;
  FreshModel narrow, wide;
  ASSERT_EQ(LoadFromBytes(narrow.model, LoadIob, TwoObjects()), 1);
  ASSERT_EQ(LoadFromBytes(wide.model, LoadIob, Tddd({base, arm})), 1);
  ASSERT_EQ(wide.model.vertexs_count, narrow.model.vertexs_count);
  ASSERT_EQ(wide.model.polygons_count, narrow.model.polygons_count);
  for (uint32_t p = 0; p < narrow.model.polygons_count; ++p)
    EXPECT_EQ(Corners(wide.model, p), Corners(narrow.model, p)) << p;
}

// Damaged descriptions: what is whole is kept, what names missing parts is
// dropped with its reason, and a file that is no TDDD object is refused.
TEST(Iob, DamagedFilesKeepWhatIsWholeAndSayWhatWasDropped) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    int result;
    uint32_t polygons;
    const char* logged;
  };
  Desc far_edge = Base();
  far_edge.faces = {0, 1, 9, 4, 2, 3};  // edge 9 does not exist
  Desc far_point = Base();
  far_point.edges[1] = 7;  // edge 0 names point 7 of 4
  Desc open = Base();
  open.faces = {0, 2, 4, 4, 2, 3};  // (0,1) (2,3) (0,2) close no triangle
  Desc short_colours = Base();
  short_colours.face_colours.pop_back();
  std::vector<uint8_t> lwob = TwoObjects();
  std::memcpy(lwob.data() + 8, "LWOB", 4);
  Iff no_obj;
  no_obj.Begin("FORM").Id("TDDD").Begin("INFO").U32(0).End().End();
  Iff stray_end;
  stray_end.Begin("FORM").Id("TDDD").Begin("OBJ ").Begin("TOBJ").End().End().End();
  std::vector<uint8_t> unended = TwoObjects();
  unended.resize(unended.size() - 16);  // both TOBJ chunks gone
  StoreBe32(unended.data() + 4, static_cast<uint32_t>(unended.size() - 8));
  StoreBe32(unended.data() + 16, static_cast<uint32_t>(unended.size() - 20));
  const Case cases[] = {
      {"an edge number beyond the edges", Tddd({far_edge}), 1, 1, "faces naming edges or points"},
      {"an edge naming a missing point", Tddd({far_point}), 1, 1, "faces naming edges or points"},
      {"edges that close no triangle", Tddd({open}), 1, 1, "do not close a triangle"},
      {"fewer face colours than faces", Tddd({short_colours}), 1, 2, ""},
      {"another FORM type", lwob, 0, 0, "not of type TDDD"},
      {"no FORM at all", {'T', 'D', 'D', 'D', 0, 0, 0, 0}, 0, 0, "does not begin with a FORM"},
      {"a FORM without objects", no_obj.bytes, 0, 0, "no OBJ chunk"},
      {"a TOBJ ending nothing", stray_end.bytes, 1, 0, "ends no object description"},
      {"descriptions never ended", unended, 1, 3, "have no TOBJ end"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshModel fresh;
    LogCapture log;
    ASSERT_EQ(LoadFromBytes(fresh.model, LoadIob, c.bytes), c.result);
    if (c.result == 1) {
      EXPECT_EQ(fresh.model.polygons_count, c.polygons);
    }
    EXPECT_TRUE(log.Contains(c.logged)) << log.Text();
    if (c.result == 1 && c.logged[0] == '\0') {
      EXPECT_EQ(log.ErrorText(), "");
    }
  }
  // A face without a colour of its own takes none: the first face keeps red.
  FreshModel fresh;
  ASSERT_EQ(LoadFromBytes(fresh.model, LoadIob, Tddd({short_colours})), 1);
  EXPECT_EQ(ColourOf(fresh.model, 0), (std::vector<uint8_t>{255, 0, 0}));
  EXPECT_EQ(ColourOf(fresh.model, 1), (std::vector<uint8_t>{}));
}

TEST(Iob, EveryCutFileLoadsOrFailsWithAReason) { ExpectEveryCutLoadsOrFailsWithReason(TwoObjects(), LoadIob); }

TEST(Iob, IsRecognisedByItsHeaderAndConvertsToObjAnd3ds) {
  TempDir temp;
  const std::string path = temp.File("two.iob");
  WriteBytes(path, TwoObjects());
  // The header decides, whatever the name says.
  const std::string renamed = temp.File("two.obj");
  WriteBytes(renamed, TwoObjects());
  EXPECT_EQ(DetermineTypeOfPath(path.c_str()), kIobType);
  EXPECT_EQ(DetermineTypeOfPath(renamed.c_str()), kIobType);
  ExpectObjAnd3dsReadBackByAssimp(path, kIobType);
  // The preview's axes are this format's own: through the pipeline the
  // positions stay as stored.
  EXPECT_EQ(LoadThroughPipeline(path, kIobType,
                                [](ModelData& model) {
                                  EXPECT_EQ(model.vertexs_count, 7u);
                                  EXPECT_EQ(model.ConvertModelOrientation(4, 2, 1), 1);
                                  EXPECT_EQ(VertexAt(model, 4), (std::vector<double>{0, 7, 2}));
                                }),
            1);
}

}  // namespace
}  // namespace zepcon::test
