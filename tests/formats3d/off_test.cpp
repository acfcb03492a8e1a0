#include <gtest/gtest.h>

#include <chrono>

#include "formats3d/rawoff_helpers.h"

namespace zepcon::test {
namespace {

const char kTriangleOff[] = "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";

// Every real OFF file loads (the one that only has the extension is
// refused), and each well-formed one converts faithfully.
TEST(OffCorpus, EveryFileLoadsAndConvertsFaithfully) {
  const std::vector<CorpusEntry> files = CorpusFiles("models/off/");
  ASSERT_GE(files.size(), 12u);
  for (const CorpusEntry& entry : files) {
    SCOPED_TRACE(entry.path);
    const std::string source = (CorpusDir() / entry.path).string();
    LogCapture log;
    const int loaded = Convert(source, kOffType, nullptr);
    if (entry.path.find("NOT_OFF") != std::string::npos) {
      EXPECT_EQ(loaded, 0);
      EXPECT_TRUE(log.Contains("not an OFF file"));
      continue;
    }
    if (entry.path.find("4OFF") != std::string::npos) {
      EXPECT_EQ(loaded, 0);
      EXPECT_TRUE(log.Contains("4OFF files hold four-dimensional vertices"));
      continue;
    }
    EXPECT_EQ(loaded, 1);
    const bool damaged = entry.notes.rfind("INVALID", 0) == 0;
    EXPECT_EQ(log.ErrorText().empty(), !damaged) << "only a damaged file loads with complaints: " << log.ErrorText();
    if (damaged) continue;
    std::vector<Triangle> triangles;
    ASSERT_EQ(Convert(source, kOffType, &triangles), 1);
    EXPECT_GE(triangles.size(), 6u);
    ExpectConversionsAgree(source, kOffType, triangles);
  }
  if (!HaveProgram("assimp")) GTEST_SKIP() << "assimp is not installed: its reading was not compared";
}

// One triangle written many ways (line ends, comments, blank lines, the
// keyword glued to the counts, COFF, no keyword) loads without complaint.
// Headers without counts are refused; counts the file cannot hold are caught
// before any reading (in time, without allocating by them).
TEST(OffLoader, HeaderVariantsLoadAndBadCountsAreCaught) {
  FreshModel reference;
  ASSERT_EQ(LoadFromText(reference.model, LoadOff, kTriangleOff), 1);
  // The file lists the points in the opposite order from the model.
  ASSERT_EQ(PolygonPoints(reference.model, 0), (std::vector<uint32_t>{2, 1, 0}));
  const std::vector<Triangle> triangle = TrianglesOf(reference.model);
  const char* kNotOff = "not an OFF file";
  const struct { const char* text; int result; const char* error; } cases[] = {
      {"OFF\r\n3 1 0\r\n0 0 0\r\n1 0 0\r\n0 1 0\r\n3 0 1 2\r\n", 1, ""},
      {"OFF3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", 1, ""},
      {"\t  OFF3 1 3 # glued\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2", 1, ""},
      {"OFF 3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", 1, ""},
      {"# by hand\n\nCOFF\n# counts next\n3 1\n0 0 0 # first\n\n1 0 0 0.5 0.5 0.5 1\n0 1 0\n\n"
       "3 0 1 2 1 0 0 1\n", 1, ""},
      {"\nOFF\n\n3 1 0\n\n 0 0 0\n\n 1 0 0\n\n 0 1 0\n\n3\t0\t1\t2\n", 1, ""},
      {"3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", 1, ""},
      {"OFF\n3 1 0\n0.0 0.0 0.0\n1.0e0 0 0\n0 1 0\n3 0\n1\n2\n", 1, ""},
      {"", 0, kNotOff},
      {"OFF\n", 0, kNotOff},
      {"OFF\n\n# only a comment\n", 0, kNotOff},
      {"appearance {\n  +texturing\n}\nUMESH\n2 2\n", 0, kNotOff},
      {"OFF BINARY\n\x03\x00\x00\x00", 0, "binary OFF files are not supported"},
      {"4OFF\n3 1 0\n0 0 0 1\n1 0 0 1\n0 1 0 1\n3 0 1 2\n", 0, "4OFF files hold four-dimensional"},
      {"nOFF\n4\n3 1 0\n", 0, "only three-dimensional nOFF"},
      // Prefixed keywords: the columns they add to each vertex are skipped.
      {"STNOFF\n3 1 0\n0 0 0 0 0 1 0.5 0.5\n1 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n3 0 1 2\n", 1, ""},
      {"nOFF 3\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", 1, ""},
      {"CnOFF\n3\n3 1 0\n0 0 0 1 1 1 1\n1 0 0 1 1 1 1\n0 1 0 1 1 1 1\n3 0 1 2\n", 1, ""},
      {"OFF\n-3 1 0\n", 0, kNotOff},
      {"OFF\n3\n1\n", 0, kNotOff},
      {"OFF\n99999999999 1 0\n", 0, kNotOff},
      {"OFF\n4294967295 4294967295 0\n0 0 0\n1 1 1\n3 0 1 0\n", 0, "4294967295 vertexs announced"},
      // The vertexs fit, the polygons cannot: what is there is loaded.
      {"OFF\n3 4000000000 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", 1, "1 of 4000000000 polygons read"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    FreshModel fresh;
    LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(LoadFromText(fresh.model, LoadOff, c.text), c.result);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(*c.error ? log.ErrorText().find(c.error) != std::string::npos : log.ErrorText().empty())
        << log.ErrorText();
    EXPECT_EQ(fresh.model.vertexs_count, c.result ? 3u : 0u);
    EXPECT_EQ(TrianglesOf(fresh.model), c.result ? triangle : std::vector<Triangle>{});
  }
}

// Polygons of 150 and of a million points keep their first hundred indexes
// in order, and the polygon after them is read from its own line.
TEST(OffLoader, LongPolygonsKeepTheirFirstHundredIndexes) {
  std::string text = "OFF\n200 3 0\n";
  for (int v = 0; v < 200; ++v) text += std::to_string(v) + " 0 0\n";
  for (const int points : {150, 1000000}) {
    text += std::to_string(points);
    for (int i = 0; i < points; ++i) text += i < 150 ? " " + std::to_string(i) : " 7";
    text += "\n";
  }
  FreshModel fresh;
  LogCapture log;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(LoadFromText(fresh.model, LoadOff, text + "3 0 1 2\n"), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(log.Contains("Too many points (150, max 100)\n") && log.Contains("Too many points (1000000, max 100)\n"));
  ASSERT_EQ(fresh.model.polygons_count, 3u);
  std::vector<uint32_t> first_hundred(100);
  for (uint32_t i = 0; i < 100; ++i) first_hundred[99 - i] = i;
  EXPECT_EQ(PolygonPoints(fresh.model, 0), first_hundred);
  EXPECT_EQ(PolygonPoints(fresh.model, 1), first_hundred);
  EXPECT_EQ(PolygonPoints(fresh.model, 2), (std::vector<uint32_t>{2, 1, 0}));
}

// Unreadable coordinates become 0, a polygon without points is dropped, a
// short one is filled to three, an unreadable index is redirected by the check.
TEST(OffLoader, UnreadableNumbersAreReportedAndRepaired) {
  FreshModel fresh;
  LogCapture log;
  ASSERT_EQ(LoadFromText(fresh.model, LoadOff, "OFF\n4 3 0\n0 0 0\nx 1 y\n1 0\n0 nan 1\n3 0 one 2\n0\n2 1 3\n"), 1);
  EXPECT_TRUE(log.Contains("unreadable numbers") && log.Contains("polygon 1 has no points, skipped"));
  EXPECT_EQ(fresh.model.CheckModel(), 1);
  EXPECT_EQ(TrianglesOf(fresh.model), (std::vector<Triangle>{{1, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 1, 0, 1, 0, 0, 0, 1}}));
}

// A real file cut anywhere loads what it holds or is refused with an error:
// never more than the whole file, never an index past the vertexs once
// checked. A cut Raw file always loads, each triangle with its own corners.
TEST(RawOffLoaders, TruncatedFilesLoadWhatTheyHoldOrFailCleanly) {
  const struct { const char* path; Codec loader; } files[] = {
      {"models/off/Cube.off", LoadOff}, {"models/off/comments.off", LoadOff},
      {"models/off/invalid.off", LoadOff}, {"models/raw/WithTexture.raw", LoadRaw}};
  for (const auto& file : files) {
    SCOPED_TRACE(file.path);
    const std::vector<uint8_t> bytes = ReadBytes(CorpusDir() / file.path);
    FreshModel whole;
    ASSERT_EQ(LoadFromText(whole.model, file.loader, std::string(bytes.begin(), bytes.end())), 1);
    ASSERT_GT(whole.model.polygons_count, 0u);
    for (size_t length = 0; length < bytes.size(); length += length < 100 ? 1 : 5) {
      SCOPED_TRACE(length);
      FreshModel cut;
      LogCapture log;
      ModelData& model = cut.model;
      const int result = LoadFromText(model, file.loader, std::string(bytes.begin(), bytes.begin() + length));
      ASSERT_TRUE(result == 1 || (result == 0 && file.loader == LoadOff && log.ErrorText() != ""))
          << result << " " << log.ErrorText();
      EXPECT_LE(model.vertexs_count, whole.model.vertexs_count);
      EXPECT_LE(model.polygons_count, whole.model.polygons_count);
      if (result == 0) continue;
      EXPECT_EQ(model.CheckModel(), 1);
      for (uint32_t p = 0; p < model.polygons_count; ++p)
        for (uint32_t v : PolygonPoints(model, p)) ASSERT_LT(v, model.vertexs_count);
      if (file.loader != LoadRaw) continue;
      EXPECT_EQ(model.vertexs_count, 3 * model.polygons_count);
    }
  }
}

}  // namespace
}  // namespace zepcon::test
