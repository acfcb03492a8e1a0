// Oni characters: the body set's most detailed body, its parts placed by
// the hierarchy and translations, textures from the character's texture
// array; missing parts, links that come back to the character, hierarchies
// that loop, cut files; conversions assimp reads back.
#include <gtest/gtest.h>

#include "formats3d/model_codec_helpers.h"
#include "formats3d/oni/oni_instance_builders.h"

namespace zepcon::test {
namespace {

using namespace oni_files;

// A character of two parts: a pelvis at (1, 2, 3) and a left thigh 5 units
// below it; each part a triangle with its own texture from the array. The
// body set also names a less detailed body of one part, which is not used.
struct CharacterFolder {
  TempDir dir;
  std::string path = dir.File("00010-hero.ONCC");

  CharacterFolder() {
    WriteBytes(path, Character(10, 20, 30, 11).data);
    WriteBytes(dir.File("00020-hero_body.TRBS"), BodySet(20, {21, 22}).data);
    WriteBytes(dir.File("00021-.TRCM"), Body(21, 1, 40, 41, 42).data);
    WriteBytes(dir.File("00022-.TRCM"), Body(22, 2, 23, 24, 25).data);
    WriteBytes(dir.File("00023-.TRGA"), LinkArray(23, {50, 60}).data);
    WriteBytes(dir.File("00024-.TRTA"), Translations(24, {{1, 2, 3}, {0, -5, 0}}).data);
    WriteBytes(dir.File("00025-.TRIA"), Hierarchy(25, {{0, 1, 0}, {0, 0, 0}}).data);
    WriteBytes(dir.File("00030-hero_tex.TRMA"), LinkArray(30, {70, 71}).data);
    WriteBytes(dir.File("00070-skin.TXMP"), Texture(70, 2, 2, 10).data);
    WriteBytes(dir.File("00071-boots.TXMP"), Texture(71, 4, 2, 20).data);
    Part(50, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    Part(60, {{0, 0, 0}, {0, -2, 0}, {1, -2, 0}});
    // The less detailed body: its one part lies far away.
    WriteBytes(dir.File("00040-.TRGA"), LinkArray(40, {80}).data);
    Part(80, {{100, 100, 100}, {101, 100, 100}, {100, 101, 100}});
  }
  void Part(uint32_t number, const std::vector<Point>& points) {
    const std::string n = std::to_string(number);
    WriteBytes(dir.File("000" + n + "-.M3GM"), Geometry(number, {number + 1, 0, 0, 0, number + 2, 0, 0}).data);
    WriteBytes(dir.File("000" + std::to_string(number + 1) + "-.PNTA"), Points(number + 1, points).data);
    WriteBytes(dir.File("000" + std::to_string(number + 2) + "-.IDXA"), Indexes(number + 2, {0 | kStart, 1, 2}).data);
  }
};

TEST(Oncc, PartsArePlacedByTheHierarchyWithTheirTextures) {
  CharacterFolder folder;
  LogCapture log;
  ASSERT_EQ(LoadThroughPipeline(folder.path, TYPE_ONCC, [](ModelData& m) {
              ASSERT_EQ(m.objects_count, 2u);
              ASSERT_EQ(m.vertexs_count, 6u);
              ASSERT_EQ(m.polygons_count, 2u);
              ObjectRecord object{};
              m.GetObjectInfo(0, &object);
              EXPECT_STREQ(object.name, "pelvis");
              m.GetObjectInfo(1, &object);
              EXPECT_STREQ(object.name, "left_thigh");
              // The pelvis at its translation; the thigh at the pelvis plus its own.
              EXPECT_EQ(VertexAt(m, 1), (std::vector<double>{2, 2, 3}));
              EXPECT_EQ(VertexAt(m, 3), (std::vector<double>{1, -3, 3}));
              EXPECT_EQ(VertexAt(m, 5), (std::vector<double>{2, -5, 3}));
              ASSERT_EQ(m.textures_count, 2u);
              ASSERT_EQ(m.materials_count, 2u);
              EXPECT_EQ(m.GetPolygonMaterial(0), 0);
              EXPECT_EQ(m.GetPolygonMaterial(1), 1);
              m.GetMaterial(1);
              EXPECT_EQ(m.Texture(static_cast<uint32_t>(m.material.texture)).width, 4u);
            }),
            1);
  // The shadow texture link is no body set or texture array: never taken.
  EXPECT_TRUE(log.Contains(" 2 of 2 parts loaded\n")) << log.Text();
}

// What cannot be resolved is logged and skipped; the load fails only when
// no part can be placed. Links back to the character and looping
// hierarchies end.
TEST(Oncc, MissingLoopingAndBrokenReferences) {
  const struct {
    const char* what;
    const char* file;
    Bytes content;  // empty: the file is removed
    int result;
    uint32_t objects;
    const char* logged;
  } cases[] = {
      {"a part's geometry missing", "00060-.M3GM", {}, 1, 1, "part 1 [left_thigh] left out"},
      {"no texture array", "00030-hero_tex.TRMA", {}, 1, 2, "no texture array found"},
      {"no hierarchy", "00025-.TRIA", {}, 1, 2, "no hierarchy"},
      {"hierarchy looping back to the root", "00025-.TRIA", Hierarchy(25, {{0, 1, 0}, {0, 0, 1}}), 1, 2, " 2 of 2 parts loaded"},
      {"no translations", "00024-.TRTA", {}, 1, 2, "every part at the origin"},
      {"body set linking back to the character", "00020-hero_body.TRBS", BodySet(20, {10, 20}), 0, 0, "names no readable body"},
      {"no body set", "00020-hero_body.TRBS", {}, 0, 0, "no body set found"},
      {"character linking only to itself", "00010-hero.ONCC", Character(10, 10, 10), 0, 0, "no body set found"},
      {"part list past the end", "00023-.TRGA", [] { Bytes b = LinkArray(23, {50, 60}); b.data[0x1E] = 0xFF; return b; }(), 0, 0, "elements pass the end"},
      {"a part without points", "00051-.PNTA", Points(51, {}), 1, 1, "part 0 [pelvis] left out"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CharacterFolder folder;
    std::filesystem::remove(folder.dir.File(c.file));
    if (!c.content.data.empty()) WriteBytes(folder.dir.File(c.file), c.content.data);
    LogCapture log;
    uint32_t objects = 99;
    EXPECT_EQ(LoadThroughPipeline(folder.path, TYPE_ONCC, [&](ModelData& m) { objects = m.objects_count; }), c.result);
    EXPECT_TRUE(log.Contains(c.logged)) << log.Text();
    if (c.result) {
      EXPECT_EQ(objects, c.objects);
    }
  }
}

// A thigh outside a looping hierarchy keeps its own translation only.
TEST(Oncc, APartTheHierarchyDoesNotReachKeepsItsOwnTranslation) {
  CharacterFolder folder;
  WriteBytes(folder.dir.File("00025-.TRIA"), Hierarchy(25, {{0, 0, 0}, {1, 1, 1}}).data);
  LogCapture log;
  ASSERT_EQ(LoadThroughPipeline(folder.path, TYPE_ONCC,
                                [](ModelData& m) { EXPECT_EQ(VertexAt(m, 3), (std::vector<double>{0, -5, 0})); }),
            1);
  EXPECT_TRUE(log.Contains("1 parts are outside the hierarchy")) << log.Text();
}

TEST(Oncc, EveryCutFileLoadsOrFailsWithAReason) {
  CharacterFolder folder;
  for (const auto& [file, whole] : {std::pair{std::string("00010-hero.ONCC"), Character(10, 20, 30, 11)},
                                    std::pair{std::string("00022-.TRCM"), Body(22, 2, 23, 24, 25)},
                                    std::pair{std::string("00025-.TRIA"), Hierarchy(25, {{0, 1, 0}, {0, 0, 0}})},
                                    std::pair{std::string("00030-hero_tex.TRMA"), LinkArray(30, {70, 71})}}) {
    for (size_t length = 0; length < whole.Size(); ++length) {
      SCOPED_TRACE(file + " cut at " + std::to_string(length));
      WriteBytes(folder.dir.File(file), std::vector<uint8_t>(whole.data.begin(), whole.data.begin() + length));
      LogCapture log;
      const int result = LoadThroughPipeline(folder.path, TYPE_ONCC, [](ModelData& m) {
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

TEST(Oncc, ConversionsToObjAnd3dsAreReadBackWithTheSameTrianglesAndExtent) {
  CharacterFolder folder;
  ExpectObjAnd3dsReadBackByAssimp(folder.path, TYPE_ONCC);
}

}  // namespace
}  // namespace zepcon::test
