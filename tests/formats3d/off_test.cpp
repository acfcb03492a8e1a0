#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "formats3d/rawoff_helpers.h"

namespace zepcon::test {
namespace {

const char kTriangleOff[] = "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";

bool IsNotOff(const CorpusEntry& entry) { return entry.path.find("NOT_OFF") != std::string::npos; }
bool IsBroken(const CorpusEntry& entry) { return entry.notes.rfind("INVALID", 0) == 0; }

TEST(OffCorpus, EveryFileLoadsOrIsRefusedCleanly) {
  const std::vector<CorpusEntry> files = CorpusFiles("models/off/");
  ASSERT_GE(files.size(), 10u);
  for (const CorpusEntry& entry : files) {
    SCOPED_TRACE(entry.path);
    FileConverter converter;
    ASSERT_EQ(converter.InitData(converter.GetDataKind(kOffType)), 1);
    LogCapture log;
    const int loaded = converter.LoadFile((CorpusDir() / entry.path).c_str(), kOffType);
    ModelData& model = converter.Model();
    if (IsNotOff(entry)) {
      EXPECT_EQ(loaded, 0);
      EXPECT_TRUE(log.Contains("not an OFF file"));
      EXPECT_EQ(model.vertexs_count, 0u);
    } else {
      EXPECT_EQ(loaded, 1);
      EXPECT_TRUE(log.Contains("...oogl loaded\n"));
      EXPECT_GE(model.vertexs_count, 3u);
      EXPECT_EQ(converter.FixData(), 1);
      if (!IsBroken(entry)) {
        EXPECT_GE(model.polygons_count, 6u);
        EXPECT_EQ(log.ErrorText(), "") << "a well-formed file loads without complaint";
      }
    }
    converter.DestroyData();
  }
}

// Our reading of every file assimp understands, and the files we write from
// it, agree with assimp's reading of the source: triangle count and extent.
TEST(OffCorpus, TrianglesAndBoundsAgreeWithAssimp) {
  if (!HaveProgram("assimp")) GTEST_SKIP() << "assimp is not installed";
  TempDir temp;
  int compared = 0;
  for (const CorpusEntry& entry : CorpusFiles("models/off/")) {
    if (IsNotOff(entry) || IsBroken(entry)) continue;
    SCOPED_TRACE(entry.path);
    const std::string source = (CorpusDir() / entry.path).string();
    const AssimpView reference = AssimpInfo(source);
    ASSERT_TRUE(reference.loaded);

    const std::vector<Triangle> ours = LoadTriangles(source, kOffType);
    EXPECT_EQ(static_cast<long>(ours.size()), reference.faces);
    ExpectSameBox(BoxOf(ours), reference.box, 1e-5, "loaded model");

    for (const int type : {kOffType, kRawType}) {
      const std::string written = temp.File(type == kOffType ? "out.off" : "out.raw");
      ASSERT_EQ(Convert(source, kOffType, written, type), 1);
      const AssimpView view = AssimpInfo(written);
      ASSERT_TRUE(view.loaded) << written;
      EXPECT_EQ(view.faces, reference.faces) << written;
      ExpectSameBox(view.box, reference.box, 1.5e-6, written);
    }
    ++compared;
  }
  EXPECT_GE(compared, 10);
}

TEST(OffCorpus, RoundTripThroughRawKeepsEveryTriangle) {
  TempDir temp;
  for (const char* name : {"Cube.off", "dodec.off", "mushroom.off", "camelhead.off", "comments.off"}) {
    SCOPED_TRACE(name);
    const std::string source = (CorpusDir() / "models/off" / name).string();
    ASSERT_EQ(Convert(source, kOffType, temp.File("mid.raw"), kRawType), 1);
    ASSERT_EQ(Convert(temp.File("mid.raw"), kRawType, temp.File("back.off"), kOffType), 1);
    const std::vector<Triangle> before = LoadTriangles(source, kOffType);
    const std::vector<Triangle> after = LoadTriangles(temp.File("back.off"), kOffType);
    ASSERT_FALSE(before.empty());
    ExpectSameTriangles(before, after, 1.1e-6, name);
  }
}

TEST(OffLoader, StoresPointsReversedAndSaverWritesThemBack) {
  FreshModel fresh;
  ASSERT_EQ(LoadFromText(fresh.model, LoadOff, kTriangleOff), 1);
  EXPECT_EQ(PolygonPoints(fresh.model, 0), (std::vector<uint32_t>{2, 1, 0}));
  EXPECT_EQ(VertexOf(fresh.model, 1), (std::array<double, 3>{1, 0, 0}));
  int saved = 0;
  EXPECT_EQ(SaveToText(fresh.model, SaveOff, &saved),
            "OFF\n3 1 3\n0.000000 0.000000 0.000000\n1.000000 0.000000 0.000000\n"
            "0.000000 1.000000 0.000000\n3 0 1 2\n");
  EXPECT_EQ(saved, 1);
}

TEST(OffSaver, TriangulatesAndWritesThePointCountThird) {
  FreshModel fresh;
  ASSERT_EQ(LoadFromText(fresh.model, LoadOff, "OFF\n5 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n2 2 0\n4 0 1 2 3\n3 1 4 2\n"),
            1);
  LogCapture log;
  const std::string text = SaveToText(fresh.model, SaveOff);
  EXPECT_TRUE(log.Contains("Saving oogl...\n") && log.Contains("...oogl saved\n"));
  ASSERT_EQ(text.rfind("OFF\n5 3 9\n", 0), 0u) << text;
  // Read back: three triangles over the same five vertexes.
  FreshModel again;
  ASSERT_EQ(LoadFromText(again.model, LoadOff, text), 1);
  EXPECT_EQ(again.model.polygons_count, 3u);
  EXPECT_EQ(TrianglesOf(again.model), TrianglesOf(fresh.model));
}

// The same triangle written many ways: line ends, comments, blank lines and
// the counts in every place files put them.
TEST(OffLoader, HeaderAndLineEndVariantsGiveTheSameModel) {
  const char* variants[] = {
      "OFF\r\n3 1 0\r\n0 0 0\r\n1 0 0\r\n0 1 0\r\n3 0 1 2\r\n",
      "OFF3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n",
      "\t  OFF3 1 3 # glued\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2",
      "OFF 3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n",
      "# made by hand\n\nCOFF\n# counts next\n3 1\n0 0 0 # first\n\n1 0 0 0.5 0.5 0.5 1\n0 1 0\n\n3 0 1 2 1 0 0 1\n",
      "\nOFF\n\n3 1 0\n\n 0 0 0\n\n 1 0 0\n\n 0 1 0\n\n3\t0\t1\t2\n",
      "3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n",
      "OFF\n3 1 0\n0.0 0.0 0.0\n1.0e0 0 0\n0 1 0\n3 0\n1\n2\n",
  };
  FreshModel reference;
  ASSERT_EQ(LoadFromText(reference.model, LoadOff, kTriangleOff), 1);
  const std::vector<Triangle> expected = TrianglesOf(reference.model);
  for (const char* text : variants) {
    SCOPED_TRACE(text);
    FreshModel fresh;
    LogCapture log;
    ASSERT_EQ(LoadFromText(fresh.model, LoadOff, text), 1);
    EXPECT_EQ(fresh.model.vertexs_count, 3u);
    EXPECT_EQ(PolygonPoints(fresh.model, 0), (std::vector<uint32_t>{2, 1, 0}));
    EXPECT_EQ(TrianglesOf(fresh.model), expected);
    EXPECT_EQ(log.ErrorText(), "");
  }
}

TEST(OffLoader, RefusesFilesWithoutCounts) {
  const char* texts[] = {"", "OFF\n", "OFF\n\n# only a comment\n", "appearance {\n  +texturing\n}\nUMESH\n2 2\n",
                         "OFF BINARY\n\x03\x00\x00\x00", "OFF\n-3 1 0\n", "OFF\n3\n1\n", "OFF\n99999999999 1 0\n"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    FreshModel fresh;
    LogCapture log;
    EXPECT_EQ(LoadFromText(fresh.model, LoadOff, text), 0);
    EXPECT_TRUE(log.Contains("not an OFF file"));
    EXPECT_EQ(fresh.model.vertexs_count, 0u);
  }
}

TEST(OffLoader, CountsLargerThanTheFileAreCaughtBeforeReading) {
  {
    FreshModel fresh;
    LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(LoadFromText(fresh.model, LoadOff, "OFF\n4294967295 4294967295 0\n0 0 0\n1 1 1\n3 0 1 0\n"), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(log.Contains("4294967295 vertexs announced"));
    EXPECT_EQ(fresh.model.vertexs_count, 0u);
  }
  {
    // The vertexes fit, the polygons cannot: what is there is loaded.
    FreshModel fresh;
    LogCapture log;
    EXPECT_EQ(LoadFromText(fresh.model, LoadOff, "OFF\n3 4000000000 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"), 1);
    EXPECT_TRUE(log.Contains("4000000000 polygons announced"));
    EXPECT_TRUE(log.Contains("1 of 4000000000 polygons read"));
    EXPECT_EQ(fresh.model.vertexs_count, 3u);
    EXPECT_EQ(fresh.model.polygons_count, 1u);
  }
}

// Polygons of 150 and of a million points keep their first hundred indexes,
// and the polygon after them is read from its own line.
TEST(OffLoader, LongPolygonsKeepTheirFirstHundredIndexes) {
  std::string text = "OFF\n200 3 0\n";
  text.reserve(2100000);
  for (int v = 0; v < 200; ++v) text += std::to_string(v) + " 0 0\n";
  text += "150";
  for (int i = 0; i < 150; ++i) text += " " + std::to_string(i);
  text += "\n1000000";
  for (int i = 0; i < 1000000; ++i) text += " 7";
  text += "\n3 0 1 2\n";
  FreshModel fresh;
  LogCapture log;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(LoadFromText(fresh.model, LoadOff, text), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(log.Contains("Too many points (150, max 100)\n"));
  EXPECT_TRUE(log.Contains("Too many points (1000000, max 100)\n"));
  ASSERT_EQ(fresh.model.polygons_count, 3u);
  const std::vector<uint32_t> points = PolygonPoints(fresh.model, 0);
  ASSERT_EQ(points.size(), 100u);
  for (uint32_t i = 0; i < 100; ++i) ASSERT_EQ(points[99 - i], i);
  EXPECT_EQ(PolygonPoints(fresh.model, 1), std::vector<uint32_t>(100, 7));
  EXPECT_EQ(PolygonPoints(fresh.model, 2), (std::vector<uint32_t>{2, 1, 0}));
}

TEST(OffLoader, UnreadableNumbersAreReportedAndRepaired) {
  FreshModel fresh;
  LogCapture log;
  ASSERT_EQ(LoadFromText(fresh.model, LoadOff,
                         "OFF\n4 3 0\n0 0 0\nx 1 y\n1 0\n0 nan 1\n3 0 one 2\n0\n2 1 3\n"),
            1);
  EXPECT_EQ(VertexOf(fresh.model, 1), (std::array<double, 3>{0, 1, 0}));
  EXPECT_EQ(VertexOf(fresh.model, 2), (std::array<double, 3>{1, 0, 0}));
  EXPECT_EQ(VertexOf(fresh.model, 3), (std::array<double, 3>{0, 0, 1}));
  EXPECT_TRUE(log.Contains("unreadable numbers"));
  EXPECT_TRUE(log.Contains("polygon 1 has no points, skipped"));
  // The empty polygon is dropped; the two-point one is filled to three.
  ASSERT_EQ(fresh.model.polygons_count, 2u);
  EXPECT_EQ(PolygonPoints(fresh.model, 1), (std::vector<uint32_t>{3, 1, 3}));
  // The unreadable index points nowhere until the model check redirects it.
  EXPECT_EQ(fresh.model.CheckModel(), 1);
  EXPECT_EQ(PolygonPoints(fresh.model, 0), (std::vector<uint32_t>{2, 0, 0}));
}

// A real file cut anywhere loads what it holds or is refused; never more
// than the whole file has, never an index past the vertexes after the check.
TEST(OffLoader, TruncatedFilesLoadOrFailCleanly) {
  for (const char* name : {"Cube.off", "comments.off", "invalid.off"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bytes = ReadBytes(CorpusDir() / "models/off" / name);
    ASSERT_FALSE(bytes.empty());
    FreshModel whole;
    ASSERT_EQ(LoadFromText(whole.model, LoadOff, std::string(bytes.begin(), bytes.end())), 1);
    for (const size_t length : CutLengths(bytes)) {
      FreshModel fresh;
      LogCapture log;
      const int result = LoadFromText(fresh.model, LoadOff, std::string(bytes.begin(), bytes.begin() + length));
      ASSERT_TRUE(result == 0 || result == 1) << length;
      EXPECT_LE(fresh.model.vertexs_count, whole.model.vertexs_count) << length;
      EXPECT_LE(fresh.model.polygons_count, whole.model.polygons_count) << length;
      if (result == 0) {
        EXPECT_NE(log.ErrorText(), "") << length;
        continue;
      }
      fresh.model.CheckModel();
      for (uint32_t p = 0; p < fresh.model.polygons_count; ++p)
        for (uint32_t v : PolygonPoints(fresh.model, p)) ASSERT_LT(v, fresh.model.vertexs_count) << length;
    }
  }
}

}  // namespace
}  // namespace zepcon::test
