#include <gtest/gtest.h>

#include <filesystem>

#include "formats3d/ff7/ff7_test_util.h"

namespace zepcon::ff7_test {
namespace {

namespace fs = std::filesystem;

// An RSD opened on its own is one part with its textures: no skeleton, no
// animation even when animation files lie beside it. Its P file is the
// PLY= name with the extension cut to one letter, found whatever its case.
TEST(RsdLoader, OneRsdLoadsOnePartWithItsTexturesAndNoSkeleton) {
  test::TempDir dir;
  test::WriteText(dir.File("body.rsd"), "# made by hand\r\n" + RsdText("Body.PLY", {"Skin.TIM", "eyes.bmp"}));
  PContent p = TriangleP(2);
  p.texcoords = {{0, 0}, {1, 0}, {0, 1}};
  p.groups[0].textured = 1;
  p.groups[0].texture = 1;
  test::WriteBytes(dir.File("body.p"), BuildP(p));
  test::WriteBytes(dir.File("body.a"), BuildFieldAnimation(1, {{{1, 2, 3}}}));
  test::LogCapture log;
  Loaded loaded(dir.File("body.rsd"), TYPE_RSD);
  ASSERT_EQ(loaded.result, 1) << log.ErrorText();
  EXPECT_TRUE(log.Contains("Loading rsd through hrc...\n") && log.Contains("... rsd loaded\n"));
  EXPECT_TRUE(log.Contains("1 of 1 model files loaded\n"));
  EXPECT_FALSE(log.Contains("animation files loaded"));
  ModelData& model = loaded.Model();
  EXPECT_EQ(model.vertexs_count, 3u);
  EXPECT_EQ(model.bones_count, 0u);
  EXPECT_EQ(model.anim_frames_count, 0u);
  ASSERT_EQ(model.textures_count, 2u);
  EXPECT_EQ(std::string(model.Texture(0).full_name), dir.File("Skin.tex"));
  EXPECT_EQ(std::string(model.Texture(1).full_name), dir.File("eyes.tex"));
  // The textured triangle uses the second texture's material.
  model.relative_reads = 0;
  model.GetMaterial(static_cast<uint32_t>(model.GetPolygonMaterial(0)));
  EXPECT_EQ(model.material.texture, 1);
}

// What an RSD lacks is told; the part is skipped, the load goes on.
TEST(RsdLoader, MissingPiecesAreToldAndSkipped) {
  const struct {
    std::string text;
    bool write_p;
    const char* message;
    uint32_t vertexs;
  } cases[] = {
      {"@RSD940102\nMAT=x\n", true, "(could not find PLY=)", 0},
      {RsdText("ELSEWHERE.PLY", {}), true, "(could not open P file)", 0},
      {"@RSD940102\nPLY=PART.PLY\nNTEX=3\nTEX[0]=a.TIM\n", true, "Could not find complete texture info\n", 3},
      {RsdText("PART.PLY", {}), false, "(file is not P)", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    test::TempDir dir;
    test::WriteText(dir.File("part.rsd"), c.text);
    if (c.write_p)
      test::WriteBytes(dir.File("PART.P"), BuildP(TriangleP(0)));
    else
      test::WriteText(dir.File("PART.P"), "OFF\n0 0 0\n");
    test::LogCapture log;
    Loaded loaded(dir.File("part.rsd"), TYPE_RSD);
    EXPECT_EQ(loaded.result, 1);
    EXPECT_TRUE(log.Contains(c.message)) << log.ErrorText();
    EXPECT_EQ(loaded.Model().vertexs_count, c.vertexs);
  }
}

// The real RSD files: one names a P file beside it (by another case), the
// other names a missing P file and three textures with blanks in their
// names, one commented out.
TEST(RsdLoader, RealFilesLoad) {
  const fs::path corpus = test::CorpusDir() / "models/ff7";
  if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus";
  {
    test::LogCapture log;
    Loaded loaded((corpus / "cloud_field/aaab.rsd").string(), TYPE_RSD);
    ASSERT_EQ(loaded.result, 1);
    EXPECT_EQ(loaded.Model().vertexs_count, 14u);
    EXPECT_EQ(loaded.Model().polygons_count, 24u);
    EXPECT_TRUE(log.Contains(" (0) textures\n"));
  }
  test::LogCapture log;
  Loaded loaded((corpus / "reference.rsd").string(), TYPE_RSD);
  ASSERT_EQ(loaded.result, 1);
  EXPECT_TRUE(log.Contains("(could not open P file)"));
  ModelData& model = loaded.Model();
  ASSERT_EQ(model.textures_count, 3u);
  const char* names[] = {"First Texture.tex", "SecondTexture.tex", "Third Texture.tex"};
  for (uint32_t t = 0; t < 3; ++t) EXPECT_EQ(std::string(model.Texture(t).full_name), (corpus / names[t]).string());
}

}  // namespace
}  // namespace zepcon::ff7_test
