// glTF saver: what is written is checked by the Khronos validator, read back
// from the JSON and the buffer, and compared with assimp's reading of the
// OBJ file of the same source.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>

#include "core/format_table.h"
#include "formats3d/model_codec_helpers.h"

namespace zepcon::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

std::string NodeModules() {
  static const std::string root = [] {
    std::string out;
    if (!HaveProgram("node") || !HaveProgram("npm") || RunCommand("npm root -g 2>/dev/null", &out) != 0) return std::string();
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return fs::exists(fs::path(out) / "gltf-validator" / "package.json") ? out : std::string();
  }();
  return root;
}

struct Validation {
  int status = -1;  // 0 valid, 1 errors, 2 unreadable
  std::string output;
};

Validation Validate(const std::string& path) {
  Validation result;
  result.status = RunCommand("NODE_PATH='" + NodeModules() + "' node '" GLTF_VALIDATE_SCRIPT "' '" + path + "' 2>&1",
                             &result.output);
  return result;
}

#define SKIP_WITHOUT_VALIDATOR() \
  if (NodeModules().empty()) GTEST_SKIP() << "node or the gltf-validator package is not installed"

// The JSON and the binary buffer of a written file, either kind.
struct Written {
  Json json;
  std::vector<uint8_t> bin;

  // The floats an accessor holds (tightly packed views only, as we write them).
  std::vector<float> Floats(size_t accessor) const {
    const Json& a = json["accessors"][accessor];
    const Json& view = json["bufferViews"][a["bufferView"].get<size_t>()];
    const size_t width = a["type"] == "VEC3" ? 3 : a["type"] == "VEC2" ? 2 : 1;
    std::vector<float> values(a["count"].get<size_t>() * width);
    const size_t offset = view["byteOffset"].get<size_t>();
    EXPECT_LE(offset + values.size() * 4, bin.size());
    if (offset + values.size() * 4 <= bin.size()) std::memcpy(values.data(), bin.data() + offset, values.size() * 4);
    return values;
  }
  size_t Triangles() const {
    size_t indices = 0;
    for (const Json& mesh : json.value("meshes", Json::array()))
      for (const Json& primitive : mesh["primitives"])
        indices += json["accessors"][primitive["indices"].get<size_t>()]["count"].get<size_t>();
    return indices / 3;
  }
};

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t{bytes[at + 3]} << 24;
}

Written ReadWritten(const std::string& path) {
  Written written;
  const std::vector<uint8_t> bytes = ReadBytes(path);
  if (fs::path(path).extension() == ".glb") {
    EXPECT_GE(bytes.size(), 20u);
    if (bytes.size() < 20) return written;
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "glTF");
    EXPECT_EQ(Le32(bytes, 4), 2u);
    EXPECT_EQ(Le32(bytes, 8), bytes.size());
    const uint32_t json_length = Le32(bytes, 12);
    EXPECT_EQ(json_length % 4, 0u);
    written.json = Json::parse(bytes.begin() + 20, bytes.begin() + 20 + json_length);
    const size_t bin_at = 20 + size_t{json_length};
    if (bin_at + 8 <= bytes.size()) {
      EXPECT_EQ(std::string(bytes.begin() + bin_at + 4, bytes.begin() + bin_at + 8), std::string("BIN\0", 4));
      written.bin.assign(bytes.begin() + bin_at + 8, bytes.begin() + bin_at + 8 + Le32(bytes, bin_at));
    }
  } else {
    written.json = Json::parse(bytes.begin(), bytes.end());
    if (written.json.contains("buffers"))
      written.bin = ReadBytes(fs::path(path).parent_path() / written.json["buffers"][0]["uri"].get<std::string>());
  }
  if (written.json.contains("buffers")) {
    // A binary chunk is padded to four bytes.
    const size_t length = written.json["buffers"][0]["byteLength"].get<size_t>();
    EXPECT_LE(length, written.bin.size());
    EXPECT_LT(written.bin.size() - length, 4u);
  }
  return written;
}

// A quad in a textured red material and a triangle in a plain blue one.
void WriteTexturedObj(const TempDir& dir) {
  WriteText(dir.File("model.obj"),
            "mtllib model.mtl\n"
            "v 0 0 0\nv 2 0 0\nv 2 1 0\nv 0 1 0\nv 0 0 3\n"
            "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
            "g quad\nusemtl red\nf 1/1 2/2 3/3 4/4\n"
            "g tri\nusemtl blue\nf 1 2 5\n");
  WriteText(dir.File("model.mtl"),
            "newmtl red\nKd 1 0 0\nmap_Kd checker tex.ppm\n"
            "newmtl blue\nKd 0 0 1\n");
  WriteText(dir.File("checker tex.ppm"), "P3\n2 2\n255\n255 255 255  0 0 0\n0 0 0  255 255 255\n");
}

TEST(GltfSaver, TexturedModelBothKinds) {
  TempDir dir;
  WriteTexturedObj(dir);
  for (const int type : {int{TYPE_GLTF}, int{TYPE_GLB}}) {
    const std::string name = type == TYPE_GLTF ? "out.gltf" : "out.glb";
    SCOPED_TRACE(name);
    TempDir out;
    ASSERT_EQ(Convert(dir.File("model.obj"), kObjType, nullptr, out.File(name), type), 1);
    const Written written = ReadWritten(out.File(name));
    const Json& json = written.json;
    EXPECT_EQ(json["asset"]["version"], "2.0");
    EXPECT_EQ(written.Triangles(), 3u);

    // Materials keep their colours; the red one shows the texture.
    ASSERT_EQ(json["materials"].size(), 2u);
    std::map<std::string, Json> materials;
    for (const Json& m : json["materials"]) materials[m["name"]] = m;
    ASSERT_TRUE(materials.count("red") && materials.count("blue"));
    const std::vector<double> red = materials["red"]["pbrMetallicRoughness"]["baseColorFactor"];
    const std::vector<double> blue = materials["blue"]["pbrMetallicRoughness"]["baseColorFactor"];
    EXPECT_EQ(red, (std::vector<double>{1, 0, 0, 1}));
    EXPECT_EQ(blue, (std::vector<double>{0, 0, 1, 1}));
    EXPECT_FALSE(materials["blue"]["pbrMetallicRoughness"].contains("baseColorTexture"));
    const size_t texture = materials["red"]["pbrMetallicRoughness"]["baseColorTexture"]["index"];
    const Json& image = json["images"][json["textures"][texture]["source"].get<size_t>()];

    // The picture is a PNG whatever the source was, and it loads.
    std::string png_path;
    if (type == TYPE_GLTF) {
      EXPECT_EQ(image["uri"], "checker%20tex.png");
      png_path = out.File("checker tex.png");
      EXPECT_TRUE(fs::exists(out.File("out.bin")));
    } else {
      EXPECT_EQ(image["mimeType"], "image/png");
      const Json& view = json["bufferViews"][image["bufferView"].get<size_t>()];
      const auto from = written.bin.begin() + view["byteOffset"].get<std::ptrdiff_t>();
      png_path = out.File("embedded.png");
      WriteBytes(png_path, std::vector<uint8_t>(from, from + view["byteLength"].get<std::ptrdiff_t>()));
      for (const auto& file : fs::directory_iterator(out.Path()))
        EXPECT_TRUE(file.path().extension() == ".glb" || file.path() == png_path) << file.path();
    }
    FileConverter picture;
    ASSERT_TRUE(picture.InitData(KIND_BITMAP));
    ASSERT_EQ(picture.LoadFile(png_path.c_str(), TYPE_PNG), 1);
    picture.DestroyData();

    // Each primitive is drawn with one material; the positions are the
    // model's, and every normal is of unit length.
    std::vector<float> positions;
    for (const Json& mesh : json["meshes"])
      for (const Json& primitive : mesh["primitives"]) {
        const std::vector<float> p = written.Floats(primitive["attributes"]["POSITION"]);
        positions.insert(positions.end(), p.begin(), p.end());
        const std::vector<float> n = written.Floats(primitive["attributes"]["NORMAL"]);
        for (size_t i = 0; i + 2 < n.size(); i += 3)
          EXPECT_NEAR(n[i] * n[i] + n[i + 1] * n[i + 1] + n[i + 2] * n[i + 2], 1.0, 1e-5);
        EXPECT_TRUE(primitive.contains("material"));
      }
    const auto [low, high] = std::minmax_element(positions.begin(), positions.end());
    EXPECT_EQ(*low, 0.0f);
    EXPECT_EQ(*high, 3.0f);

    if (NodeModules().empty()) continue;
    const Validation validation = Validate(out.File(name));
    EXPECT_EQ(validation.status, 0) << validation.output;
    EXPECT_NE(validation.output.find(" images 1"), std::string::npos) << validation.output;
  }
}

// A source with z up comes out with y up: the OBJ is written as it stands,
// read back as a 3DS file (which names its axes), and that is saved.
TEST(GltfSaver, AxesTurnedToYUp) {
  TempDir dir;
  WriteText(dir.File("tri.obj"), "v 1 2 3\nv 4 5 6\nv 7 8 10\nf 1 2 3\n");
  ASSERT_EQ(Convert(dir.File("tri.obj"), kObjType, nullptr, dir.File("tri.3ds"), k3dsType), 1);
  const struct {
    std::string source;
    int type;
    std::vector<float> first;  // the written position of vertex (1, 2, 3)
  } cases[] = {
      {"tri.obj", kObjType, {1, 2, 3}},     // no axes named: left as they are
      {"tri.3ds", k3dsType, {-2, 3, -1}},  // z up: (x, y, z) -> (-y, z, -x)
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    ASSERT_EQ(Convert(dir.File(c.source), c.type, nullptr, dir.File("out.gltf"), TYPE_GLTF), 1);
    const Written written = ReadWritten(dir.File("out.gltf"));
    ASSERT_EQ(written.Triangles(), 1u);
    const std::vector<float> p = written.Floats(written.json["meshes"][0]["primitives"][0]["attributes"]["POSITION"]);
    bool found = false;
    for (size_t i = 0; i + 2 < p.size(); i += 3)
      found = found || (std::fabs(p[i] - c.first[0]) < 1e-5 && std::fabs(p[i + 1] - c.first[1]) < 1e-5 &&
                        std::fabs(p[i + 2] - c.first[2]) < 1e-5);
    EXPECT_TRUE(found);
    // The triangle still faces the way its normal says.
    const std::vector<float> n = written.Floats(written.json["meshes"][0]["primitives"][0]["attributes"]["NORMAL"]);
    const float e1[3] = {p[3] - p[0], p[4] - p[1], p[5] - p[2]}, e2[3] = {p[6] - p[0], p[7] - p[1], p[8] - p[2]};
    const float cross[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    EXPECT_GT(cross[0] * n[0] + cross[1] * n[1] + cross[2] * n[2], 0.0f);
  }
}

// Animated models: every frame is a morph target and the animation plays
// them; a skeleton owning vertices is a skin besides. The validator accepts
// the result.
TEST(GltfSaver, AnimationBakedIntoMorphTargets) {
  const struct {
    const char* path;
    int type;
    bool skin;
  } cases[] = {{"models/md3/eggpod/eggpod.md3", TYPE_MD3, false}, {"models/ms3d/hog/hog.ms3d", TYPE_MS3D, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string source = (CorpusDir() / c.path).string();
    if (!fs::exists(source)) GTEST_SKIP() << "corpus not present";
    FileConverter converter;
    ASSERT_TRUE(converter.InitData(KIND_MODEL));
    ASSERT_EQ(converter.LoadFile(source.c_str(), c.type), 1);
    ASSERT_EQ(converter.FixData(), 1);
    const uint32_t frames = converter.Model().anim_frames_count;
    const uint32_t joints = converter.Model().joints_count;
    converter.DestroyData();
    ASSERT_GT(frames, 1u);
    for (const char* name : {"out.glb", "out.gltf"}) {
      TempDir out;
      ASSERT_EQ(Convert(source, c.type, nullptr, out.File(name), fs::path(name).extension() == ".glb" ? TYPE_GLB : TYPE_GLTF), 1);
      const Written written = ReadWritten(out.File(name));
      ASSERT_TRUE(written.json.contains("animations")) << name;
      bool moves = false;
      for (const Json& mesh : written.json["meshes"]) {
        ASSERT_EQ(mesh["weights"].size(), frames);
        for (const Json& primitive : mesh["primitives"]) {
          ASSERT_EQ(primitive["targets"].size(), frames);
          for (const Json& target : primitive["targets"]) {
            const Json& accessor = written.json["accessors"][target["POSITION"].get<size_t>()];
            for (int k = 0; k < 3; ++k)
              moves = moves || accessor["min"][k].get<double>() != 0.0 || accessor["max"][k].get<double>() != 0.0;
          }
        }
      }
      EXPECT_TRUE(moves) << name;
      EXPECT_EQ(written.json.contains("skins"), c.skin) << name;
      if (c.skin) {
        const Json& skin = written.json["skins"][0];
        EXPECT_EQ(skin["joints"].size(), joints);
        EXPECT_EQ(written.json["accessors"][skin["inverseBindMatrices"].get<size_t>()]["count"], joints);
        for (const Json& primitive : written.json["meshes"][0]["primitives"]) {
          EXPECT_TRUE(primitive["attributes"].contains("JOINTS_0"));
          // Some vertex follows a joint other than the root.
          const Json& accessor = written.json["accessors"][primitive["attributes"]["JOINTS_0"].get<size_t>()];
          const Json& view = written.json["bufferViews"][accessor["bufferView"].get<size_t>()];
          bool off_root = false;
          for (size_t i = 0; i < accessor["count"].get<size_t>(); ++i)
            off_root = off_root || written.bin[view["byteOffset"].get<size_t>() + i * 8] != 0;
          EXPECT_TRUE(off_root);
        }
      }
      if (NodeModules().empty()) continue;
      const Validation validation = Validate(out.File(name));
      EXPECT_EQ(validation.status, 0) << name << "\n" << validation.output;
      EXPECT_NE(validation.output.find("morph targets 1"), std::string::npos) << validation.output;
      EXPECT_NE(validation.output.find(c.skin ? "skins 1" : "skins 0"), std::string::npos) << validation.output;
    }
  }
}

// An OBJ box turned into glTF's axes the way the source's own axes say.
AssimpReport TurnedBox(const AssimpReport& box, const int32_t from[3]) {
  constexpr int32_t kTo[3] = {2, 0, 4};
  if (from[0] == 7) return box;
  AssimpReport turned = box;
  for (int i = 0; i < 3; ++i) {
    const int source_axis = from[i] / 2, axis = kTo[i] / 2;
    const bool negated = (from[i] % 2) != (kTo[i] % 2);
    turned.box[axis] = negated ? -box.box[3 + source_axis] : box.box[source_axis];
    turned.box[3 + axis] = negated ? -box.box[source_axis] : box.box[3 + source_axis];
  }
  return turned;
}

// Every model of the corpus that converts to OBJ converts to both glTF
// kinds that the validator accepts and assimp reads as the OBJ: the same
// triangles, the same extent in glTF's axes.
class GltfCorpus : public ::testing::TestWithParam<int> {};

TEST_P(GltfCorpus, ConvertsLikeObj) {
  SKIP_WITHOUT_VALIDATOR();
  const int type = GetParam();
  std::vector<CorpusEntry> files;
  for (const CorpusEntry& listed : CorpusFiles("models/"))
    if (IdentifiedAs(listed).expected_type == type) files.push_back(listed);
  if (files.empty()) GTEST_SKIP() << "corpus not present";
  const bool assimp = HaveProgram("assimp");
  size_t converted = 0;
  for (const CorpusEntry& entry : files) {
    SCOPED_TRACE(entry.path);
    const std::string source = (CorpusDir() / entry.path).string();
    TempDir dir;
    if (Convert(source, type, nullptr, dir.File("ref.obj"), kObjType) != 1) continue;
    ++converted;
    int32_t axes[3] = {7, 7, 7};
    // Models whose vertices are stored relative to their bones (the battle
    // skeletons) go to OBJ as stored, parts at their bones' origins, while
    // the glTF skin places them on the posed joints: only the faces compare.
    bool bone_relative = false;
    {
      FileConverter converter;
      ASSERT_TRUE(converter.InitData(KIND_MODEL));
      ASSERT_EQ(converter.LoadFile(source.c_str(), type), 1);
      std::memcpy(axes, converter.Model().model_orientation, sizeof axes);
      bone_relative = converter.Model().bone_animation_present;
      converter.DestroyData();
    }
    const AssimpReport reference = assimp ? AssimpReportOf(dir.File("ref.obj")) : AssimpReport{};
    for (const auto& [name, destination] : {std::pair{"out.gltf", int{TYPE_GLTF}}, std::pair{"out.glb", int{TYPE_GLB}}}) {
      ASSERT_EQ(Convert(source, type, nullptr, dir.File(name), destination), 1) << name;
      const Validation validation = Validate(dir.File(name));
      EXPECT_EQ(validation.status, 0) << name << "\n" << validation.output;
      if (!assimp || !reference.read || reference.faces <= 0) continue;
      const AssimpReport view = AssimpReportOf(dir.File(name));
      ASSERT_TRUE(view.read) << "assimp cannot read " << name;
      EXPECT_EQ(view.faces, reference.faces) << name;
      if (bone_relative) {
        for (double v : view.box) EXPECT_TRUE(std::isfinite(v)) << name;
        continue;
      }
      const AssimpReport want = TurnedBox(reference, axes);
      double scale = 0;
      for (double v : want.box) scale = std::max(scale, std::fabs(v));
      for (int k = 0; k < 6; ++k) EXPECT_TRUE(Close(view.box[k], want.box[k], scale)) << name << " item " << k << ": " << view.box[k] << " vs " << want.box[k];
    }
  }
  if (converted == 0) GTEST_SKIP() << "no file of this type converts to OBJ";
}

std::vector<int> LoadableModelTypes() {
  std::vector<int> types;
  for (int i = 0; i < kFileTypeCount; ++i) {
    const FileTypeInfo* row = FileTypeRow(i);
    if (row && row->data_kind == KIND_MODEL && row->can_load) types.push_back(i);
  }
  return types;
}

INSTANTIATE_TEST_SUITE_P(EveryModelType, GltfCorpus, ::testing::ValuesIn(LoadableModelTypes()));

}  // namespace
}  // namespace zepcon::test
