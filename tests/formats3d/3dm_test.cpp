#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "formats3d/games_helpers.h"
#include "formats3d/model_codec_helpers.h"

namespace zepcon::test {
namespace {

constexpr int k3dmType = TYPE_3DM;
constexpr uint8_t kMeshUuid[16] = {0xE4, 0xD4, 0xD7, 0x4E, 0x47, 0xE9, 0xD3, 0x11,
                                   0xBF, 0xE5, 0x00, 0x10, 0x83, 0x01, 0x22, 0xF0};
constexpr uint8_t kBrepUuid[16] = {0xC5, 0xDB, 0xB5, 0x60, 0x60, 0xE6, 0xD3, 0x11,
                                   0xBF, 0xE4, 0x00, 0x10, 0x83, 0x01, 0x22, 0xF0};

uint32_t Crc(const std::vector<uint8_t>& bytes) {
  return static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

// Archive bytes of one version: chunks with 4- or 8-byte lengths.
struct Archive {
  int version;
  size_t LengthSize() const { return version >= 50 ? 8 : 4; }

  void Length(Bytes& b, uint64_t length) const {
    b.U32(static_cast<uint32_t>(length));
    if (LengthSize() == 8) b.U32(static_cast<uint32_t>(length >> 32));
  }
  // A long chunk; with the CRC bit in the typecode its CRC closes it,
  // computed over `crc_part` (the body without nested chunks) when given.
  std::vector<uint8_t> Long(uint32_t typecode, const std::vector<uint8_t>& body,
                            const std::vector<uint8_t>* crc_part = nullptr) const {
    const bool crc = (typecode & 0x8000) != 0;
    Bytes b;
    b.U32(typecode);
    Length(b, body.size() + (crc ? 4 : 0));
    b.Raw(body);
    if (crc) b.U32(Crc(crc_part ? *crc_part : body));
    return b.data;
  }
  std::vector<uint8_t> Short(uint32_t typecode, uint32_t value) const {
    Bytes b;
    b.U32(typecode);
    Length(b, value);
    return b.data;
  }
  std::vector<uint8_t> Start() const {
    char text[40];
    std::snprintf(text, sizeof text, "3D Geometry File Format %8d", version);
    return std::vector<uint8_t>(text, text + 32);
  }
  std::vector<uint8_t> Class(const uint8_t (&uuid)[16], const std::vector<uint8_t>& data,
                             const std::vector<uint8_t>* crc_part = nullptr) const {
    Bytes b;
    b.Raw(Long(0x0002FFFB, std::vector<uint8_t>(uuid, uuid + 16)));
    b.Raw(Long(0x0002FFFC, data, crc_part));
    b.Raw(Short(0x80027FFF, 0));
    return Long(0x00027FFA, b.data);
  }
  // A file whose object table holds one record per class chunk.
  std::vector<uint8_t> File(const std::vector<std::vector<uint8_t>>& classes) const {
    Bytes table;
    for (const auto& c : classes) {
      Bytes record;
      record.Raw(Short(0x82000071, 32)).Raw(c).Raw(Short(0x8200007F, 0));
      table.Raw(Long(0x20008070, record.data, &kEmpty));
    }
    table.Raw(Short(0xFFFFFFFF, 0));
    Bytes file;
    file.Raw(Start());
    file.Raw(Long(0x00000001, {'m', 'a', 'd', 'e'}));
    file.Raw(Long(0x10000013, table.data));
    file.Raw(Short(0x00007FFF, 0));
    return file.data;
  }
  static inline const std::vector<uint8_t> kEmpty{};
};

struct MeshSpec {
  std::vector<std::array<float, 3>> vertexs;
  std::vector<std::array<uint32_t, 4>> faces;  // a triangle repeats its third corner
  bool deflate = false;
  int32_t index_size = 1;
  int32_t stated_vertexs = -1;   // the count written, when not the real one
  int64_t stated_bytes = -1;     // the vertex array's stated size, when not the real one
  bool break_array_crc = false;  // a wrong CRC stored for the vertex array
  bool break_stream_crc = false;  // a wrong CRC stored for the deflated chunk
};

// Mesh class data in the documented order; the deflated vertex array is a
// nested chunk, left out of the data's own CRC.
std::vector<uint8_t> MeshData(const Archive& archive, const MeshSpec& spec, std::vector<uint8_t>* crc_part) {
  Bytes b;
  b.data.push_back(0x35);
  const int32_t vertexs = spec.stated_vertexs >= 0 ? spec.stated_vertexs : static_cast<int32_t>(spec.vertexs.size());
  b.U32(static_cast<uint32_t>(vertexs)).U32(static_cast<uint32_t>(spec.faces.size()));
  for (int k = 0; k < 10; ++k) b.U32(0).U32(0);   // domains, scales
  for (int k = 0; k < 16; ++k) b.F32(0.0f);       // boxes
  b.U32(0xFFFFFFFF);                              // closed: unknown
  for (int k = 0; k < 5; ++k) b.data.push_back(0);  // no parameters, no statistics
  b.U32(static_cast<uint32_t>(spec.index_size));
  for (const auto& f : spec.faces)
    for (uint32_t c : f) {
      if (spec.index_size == 1) b.data.push_back(static_cast<uint8_t>(c));
      if (spec.index_size == 2) b.U16(c);
      if (spec.index_size == 4) b.U32(c);
    }
  Bytes positions;
  for (const auto& v : spec.vertexs) positions.F32(v[0]).F32(v[1]).F32(v[2]);
  b.U32(static_cast<uint32_t>(spec.stated_bytes >= 0 ? spec.stated_bytes : positions.Size()));
  b.U32(Crc(positions.data) ^ (spec.break_array_crc ? 1u : 0u));
  b.data.push_back(spec.deflate ? 1 : 0);
  std::vector<uint8_t> stream;
  if (spec.deflate) {
    uLongf length = compressBound(static_cast<uLong>(positions.Size()));
    std::vector<uint8_t> packed(length);
    EXPECT_EQ(compress2(packed.data(), &length, positions.data.data(), static_cast<uLong>(positions.Size()), 9), Z_OK);
    packed.resize(length);
    stream = archive.Long(0x40008000, packed);
    if (spec.break_stream_crc) stream.back() ^= 0x55;
  }
  *crc_part = b.data;
  if (spec.deflate)
    b.Raw(stream);
  else
    b.Raw(positions.data);
  b.Raw({0, 0, 0, 0, 0, 0, 0, 0});  // empty normal and texture arrays
  crc_part->insert(crc_part->end(), 8, 0);
  return b.data;
}

std::vector<uint8_t> MeshClass(const Archive& archive, const MeshSpec& spec) {
  std::vector<uint8_t> crc_part;
  const std::vector<uint8_t> data = MeshData(archive, spec, &crc_part);
  return archive.Class(kMeshUuid, data, &crc_part);
}

// A pyramid: apex, four base corners, four triangles and the base quad.
MeshSpec Pyramid() {
  MeshSpec spec;
  spec.vertexs = {{1.0f, 1.5f, 5.0f}, {0, 0, 0}, {2, 0, 0}, {2, 3, 0}, {0, 3, 0}};
  spec.faces = {{1, 2, 0, 0}, {2, 3, 0, 0}, {3, 4, 0, 0}, {4, 1, 0, 0}, {1, 4, 3, 2}};
  return spec;
}

int Load(ModelData& model, const std::vector<uint8_t>& bytes) { return LoadFromBytes(model, Load3dm, bytes); }

// Plain and deflated vertex arrays, with 4- and 8-byte chunk lengths and
// every corner size: the same pyramid, triangles and quads as stored.
TEST(RhinoLoader, MeshObjectsOfEveryLayout) {
  for (int version : {2, 4, 50, 70})
    for (bool deflate : {false, true})
      for (int32_t index_size : {1, 2, 4}) {
        SCOPED_TRACE("version " + std::to_string(version) + (deflate ? " deflated" : " plain") + " corners of " +
                     std::to_string(index_size));
        const Archive archive{version};
        MeshSpec spec = Pyramid();
        spec.deflate = deflate;
        spec.index_size = index_size;
        FreshModel fresh;
        LogCapture log;
        ASSERT_EQ(Load(fresh.model, archive.File({MeshClass(archive, spec)})), 1) << log.Text();
        ModelData& model = fresh.model;
        ASSERT_EQ(model.vertexs_count, 5u);
        ASSERT_EQ(model.polygons_count, 5u);
        EXPECT_EQ(VertexAt(model, 0), (std::vector<double>{1.0, 1.5, 5.0}));
        EXPECT_EQ(VertexAt(model, 3), (std::vector<double>{2.0, 3.0, 0.0}));
        EXPECT_EQ(PolygonPoints(model, 0), (std::vector<uint32_t>{1, 2, 0}));
        EXPECT_EQ(PolygonPoints(model, 4), (std::vector<uint32_t>{1, 4, 3, 2}));
        EXPECT_EQ(log.ErrorText(), "");
      }
}

// Two mesh objects become two objects; a brep's cached render meshes are
// found inside its data and join one object; the corners of each mesh count
// from its own first vertex.
TEST(RhinoLoader, MeshObjectsAndRenderMeshesBecomeObjects) {
  for (int version : {2, 60}) {
    SCOPED_TRACE(version);
    const Archive archive{version};
    MeshSpec moved = Pyramid();
    for (auto& v : moved.vertexs) v[2] += 10.0f;
    moved.deflate = true;
    // Brep data: opaque bytes around a wrapped run of flagged meshes.
    Bytes brep;
    brep.U32(0x12345678).Raw({1, 2, 3});
    Bytes run;
    run.data.push_back(1);
    run.Raw(MeshClass(archive, Pyramid()));
    run.data.push_back(1);
    run.Raw(MeshClass(archive, moved));
    run.data.push_back(0);
    brep.Raw(archive.Long(0x40008000, run.data));
    brep.U32(7);
    const std::vector<uint8_t> file =
        archive.File({MeshClass(archive, Pyramid()), archive.Class(kBrepUuid, brep.data, &Archive::kEmpty)});
    FreshModel fresh;
    LogCapture log;
    ASSERT_EQ(Load(fresh.model, file), 1) << log.Text();
    ModelData& model = fresh.model;
    EXPECT_EQ(model.vertexs_count, 15u);
    EXPECT_EQ(model.polygons_count, 15u);
    EXPECT_EQ(model.objects_count, 2u);
    EXPECT_EQ(PolygonPoints(model, 14), (std::vector<uint32_t>{11, 14, 13, 12}));
    EXPECT_EQ(VertexAt(model, 10), (std::vector<double>{1.0, 1.5, 15.0}));
    EXPECT_EQ(model.CheckModel(), 1);
  }
}

// Damaged and hostile files fail with their reason; none loads garbage.
TEST(RhinoLoader, DamagedFilesFailWithTheirReason) {
  const Archive v2{2}, v50{50};
  const auto file_with = [](const Archive& archive, const MeshSpec& spec) {
    return archive.File({MeshClass(archive, spec)});
  };
  MeshSpec spec = Pyramid();
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* reason;
  };
  std::vector<Case> cases;
  {
    MeshSpec s = spec;
    s.break_array_crc = true;
    cases.push_back({"array CRC", file_with(v50, s), "CRC of the array"});
    s.deflate = true;
    cases.push_back({"deflated array CRC", file_with(v2, s), "CRC of the array"});
  }
  {
    MeshSpec s = spec;
    s.deflate = true;
    s.break_stream_crc = true;
    cases.push_back({"deflated chunk CRC", file_with(v50, s), "CRC of chunk 40008000"});
  }
  {
    // The stream inflates to more than the size stated (and counted).
    MeshSpec s = spec;
    s.deflate = true;
    s.stated_vertexs = 4;
    s.stated_bytes = 48;
    cases.push_back({"inflates past stated size", file_with(v2, s), "more than its stated 48 bytes"});
    s.stated_vertexs = 6;
    s.stated_bytes = 72;
    cases.push_back({"inflates short of stated size", file_with(v2, s), "broken or short"});
  }
  {
    MeshSpec s = spec;
    s.stated_vertexs = 6;
    s.stated_bytes = 72;
    cases.push_back({"plain array past its chunk", file_with(v50, s), "runs past its chunk"});
    s.stated_bytes = 60;
    cases.push_back({"array size disagrees with the count", file_with(v50, s), "holds 60 bytes, 72 expected"});
  }
  {
    MeshSpec s = spec;
    s.stated_vertexs = 0x7FFFFFFF;
    s.stated_bytes = 60;
    s.deflate = true;
    cases.push_back({"huge count", file_with(v2, s), "expected"});
    s.stated_vertexs = 100000000;
    s.stated_bytes = 1200000000;
    cases.push_back({"stated size beyond what deflate can yield", file_with(v2, s), "cannot hold the stated"});
  }
  {
    // The face count claims more than the data holds.
    std::vector<uint8_t> crc_part;
    std::vector<uint8_t> data = MeshData(v2, spec, &crc_part);
    StoreLe32(data.data() + 5, 40000);
    cases.push_back({"faces past the data", v2.File({v2.Class(kMeshUuid, data, &crc_part)}),
                     "faces run past the mesh data"});
  }
  {
    MeshSpec s = spec;
    s.index_size = 3;
    cases.push_back({"corner size", file_with(v2, s), "face corners of 3 bytes"});
  }
  {
    // The object table claims more bytes than the file holds.
    std::vector<uint8_t> bytes = file_with(v2, spec);
    const size_t at = 32 + 8 + 4;  // start, comment header and body
    ASSERT_EQ(LoadLe32(bytes.data() + at), 0x10000013u);
    StoreLe32(bytes.data() + at + 4, 1u << 30);
    cases.push_back({"chunk past the file", bytes, "chunk 10000013"});
  }
  {
    // A record's chunk claims more than the record holds.
    std::vector<uint8_t> bytes = file_with(v50, spec);
    const size_t at = 32 + 12 + 4 + 12;  // start, comment, table header
    ASSERT_EQ(LoadLe32(bytes.data() + at), 0x20008070u);
    const size_t inner = at + 12 + 12;  // record header, record type
    ASSERT_EQ(LoadLe32(bytes.data() + inner), 0x00027FFAu);
    StoreLe32(bytes.data() + inner + 4, LoadLe32(bytes.data() + at + 4));
    cases.push_back({"chunk past its parent", bytes, "its parent holds"});
  }
  {
    std::vector<uint8_t> bytes = file_with(v2, spec);
    bytes[32 + 8 + 4 + 8 + 8 + 8 + 8 + 16] ^= 1;  // a byte of the class identifier
    cases.push_back({"identifier CRC", bytes, "CRC of chunk 0002FFFB"});
  }
  {
    MeshSpec s = spec;
    std::vector<uint8_t> crc_part;
    std::vector<uint8_t> data = MeshData(v2, s, &crc_part);
    data[0] = 0x21;
    cases.push_back({"old mesh layout", v2.File({v2.Class(kMeshUuid, data, &crc_part)}), "mesh layout 2.1"});
  }
  cases.push_back({"no meshes", v2.File({v2.Class(kBrepUuid, {1, 2, 3, 4}, &Archive::kEmpty)}), "holds no meshes"});
  cases.push_back({"version 1", Archive{1}.File({}), "archive version 1 is not read"});
  cases.push_back({"not an archive", {'3', 'D', ' ', 'G', 'e', 'o'}, "does not start with"});
  {
    std::vector<uint8_t> bytes = file_with(v2, spec);
    bytes[31] = 'x';
    cases.push_back({"version not a number", bytes, "not a number"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FreshModel fresh;
    LogCapture log;
    EXPECT_EQ(Load(fresh.model, c.bytes), 0);
    EXPECT_NE(log.ErrorText().find(c.reason), std::string::npos) << log.ErrorText();
  }
}

// Corners past the mesh's vertexs drop their face (counted), the rest loads.
TEST(RhinoLoader, FacesWithCornersPastTheVertexsAreLeftOut) {
  const Archive archive{4};
  MeshSpec spec = Pyramid();
  spec.faces.push_back({0, 1, 9, 9});
  FreshModel fresh;
  LogCapture log;
  ASSERT_EQ(Load(fresh.model, archive.File({MeshClass(archive, spec)})), 1);
  EXPECT_EQ(fresh.model.polygons_count, 5u);
  EXPECT_TRUE(log.Contains("1 faces left out")) << log.Text();
}

// A deflated mesh object, cut at every length.
TEST(RhinoLoader, EveryCutFileLoadsOrFailsWithReason) {
  const Archive archive{2};
  MeshSpec spec = Pyramid();
  spec.deflate = true;
  ExpectEveryCutLoadsOrFailsWithReason(archive.File({MeshClass(archive, spec)}), Load3dm);
}

// ---- Real files -----------------------------------------------------------

std::vector<uint8_t> FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct StoredCounts {
  uint32_t meshes = 0;
  uint64_t vertexs = 0, faces = 0;
};

// The counts every mesh stores at the head of its data, found by the mesh
// class identifier alone (identifier, its CRC, the data chunk's head, the
// version byte), without walking the chunks.
StoredCounts CountsStoredIn(const std::vector<uint8_t>& bytes, size_t length_size) {
  StoredCounts counts;
  auto at = bytes.begin();
  while ((at = std::search(at, bytes.end(), std::begin(kMeshUuid), std::end(kMeshUuid))) != bytes.end()) {
    const size_t counts_at = static_cast<size_t>(at - bytes.begin()) + 16 + 4 + 4 + length_size + 1;
    if (counts_at + 8 > bytes.size()) break;
    counts.vertexs += LoadLe32(bytes.data() + counts_at);
    counts.faces += LoadLe32(bytes.data() + counts_at + 4);
    ++counts.meshes;
    ++at;
  }
  return counts;
}

TEST(RhinoLoader, RealFilesLoadTheMeshesTheyStore) {
  const std::filesystem::path folder = CorpusDir() / "models/3dm";
  if (!std::filesystem::exists(folder)) GTEST_SKIP() << "corpus not present";
  struct Expect {
    const char* name;
    uint32_t meshes_at_least;
  };
  for (const Expect& e : {Expect{"v2_my_mesh.3dm", 1}, Expect{"v5_my_mesh.3dm", 1},
                          Expect{"v6_my_mesh_with_material.3dm", 1}, Expect{"v7_my_mesh.3dm", 1},
                          Expect{"v4_MechPartB.3dm", 2}, Expect{"v2_Soccer.3dm", 2}}) {
    SCOPED_TRACE(e.name);
    const std::filesystem::path path = folder / e.name;
    const std::vector<uint8_t> bytes = FileBytes(path);
    ASSERT_GT(bytes.size(), 32u);
    const int version = std::atoi(std::string(bytes.begin() + 24, bytes.begin() + 32).c_str());
    const StoredCounts stored = CountsStoredIn(bytes, version >= 50 ? 8 : 4);
    ASSERT_GE(stored.meshes, e.meshes_at_least);
    FreshModel fresh;
    LogCapture log;
    ASSERT_EQ(Load(fresh.model, bytes), 1) << log.ErrorText();
    ModelData& model = fresh.model;
    EXPECT_EQ(model.vertexs_count, stored.vertexs);
    EXPECT_EQ(model.polygons_count, stored.faces);
    EXPECT_EQ(model.CheckModel(), 1);
    // Sane bounds: finite, not flat in every direction, within the range
    // a modeller's units allow.
    double low[3] = {1e300, 1e300, 1e300}, high[3] = {-1e300, -1e300, -1e300};
    for (uint32_t v = 0; v < model.vertexs_count; ++v) {
      const std::vector<double> p = VertexAt(model, v);
      for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(std::isfinite(p[k]));
        low[k] = std::min(low[k], p[k]);
        high[k] = std::max(high[k], p[k]);
      }
    }
    double extent = 0;
    for (int k = 0; k < 3; ++k) {
      extent = std::max(extent, high[k] - low[k]);
      EXPECT_LT(std::fabs(low[k]) + std::fabs(high[k]), 1e7);
    }
    EXPECT_GT(extent, 0.0);
  }
}

// The small meshes hold a known pyramid: apex over a square base.
TEST(RhinoLoader, RealMeshFilesHoldThePyramid) {
  const std::filesystem::path folder = CorpusDir() / "models/3dm";
  if (!std::filesystem::exists(folder)) GTEST_SKIP() << "corpus not present";
  for (const char* name : {"v2_my_mesh.3dm", "v5_my_mesh.3dm", "v7_my_mesh.3dm"}) {
    SCOPED_TRACE(name);
    FreshModel fresh;
    ASSERT_EQ(Load(fresh.model, FileBytes(folder / name)), 1);
    EXPECT_EQ(VertexAt(fresh.model, 0), (std::vector<double>{1.0, 1.5, 5.0}));
    EXPECT_EQ(PolygonPoints(fresh.model, 4).size(), 4u);
  }
}

TEST(RhinoLoader, VersionOneFileFailsClearly) {
  const std::filesystem::path path = CorpusDir() / "models/3dm/v1_three_points.3dm";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "corpus not present";
  FreshModel fresh;
  LogCapture log;
  EXPECT_EQ(Load(fresh.model, FileBytes(path)), 0);
  EXPECT_TRUE(log.Contains("archive version 1 is not read")) << log.Text();
}

TEST(RhinoLoader, RealFilesConvertToObjAnd3dsThatAssimpReads) {
  const std::filesystem::path folder = CorpusDir() / "models/3dm";
  if (!std::filesystem::exists(folder)) GTEST_SKIP() << "corpus not present";
  for (const char* name : {"v2_my_mesh.3dm", "v6_my_mesh_with_material.3dm", "v4_MechPartB.3dm"}) {
    SCOPED_TRACE(name);
    ExpectObjAnd3dsReadBackByAssimp((folder / name).string(), k3dmType);
  }
}

}  // namespace
}  // namespace zepcon::test
