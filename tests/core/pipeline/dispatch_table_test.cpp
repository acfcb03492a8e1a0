// The format table and the dispatch table tell one story, and every built
// loader comes with its test and its fuzz target. Everything is derived from
// the two tables and the file tree, so rows added later are held to it too.
#include "core/pipeline/dispatch_table.h"

#include <gtest/gtest.h>


#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <string>

#include "core/format_table.h"
#include "core/pipeline/file_converter.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

namespace fs = std::filesystem;

// Rows whose files are not named by their extension: the extension is shared
// with another row, empty, or not the name the format goes by.
// A stem may name a family folder ("ff7/tex"): the test is then
// tests/**/ff7/tex_test.cpp and the fuzz target fuzz/ff7_tex_fuzz.cpp.
const std::map<int, std::string> kFileStems = {
    {TYPE_FF7_BATTLE, "ff7_battle"},
    {TYPE_JPG, "jpeg"},
    {TYPE_LWO2, "lwo2"},
    {TYPE_MS3D_ASCII, "ms3d_text"},
    {TYPE_SGI, "sgi"},
    {TYPE_TEXT, "text"},
    {TYPE_FF7_TEX, "ff7/tex"},
    {TYPE_FF8_DAT, "ff8/dat"},
    {TYPE_VIPER_TEX, "viper/tex"},
};

std::string FileStem(int type_index) {
  const auto named = kFileStems.find(type_index);
  if (named != kFileStems.end()) return named->second;
  std::string stem = FormatTable()[type_index].extension;
  for (char& c : stem) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return stem;
}

// True when a file under `folder` has a path ending in `name` (which may
// start with a family folder).
bool HasFileNamed(const fs::path& folder, const std::string& name) {
  const std::string tail = "/" + name;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string path = entry.path().generic_string();
    if (entry.is_regular_file() && path.size() >= tail.size() &&
        path.compare(path.size() - tail.size(), tail.size(), tail) == 0)
      return true;
  }
  return false;
}

std::string FuzzName(std::string stem) {
  std::replace(stem.begin(), stem.end(), '/', '_');
  return stem + "_fuzz.cpp";
}

// A row is offered in a direction exactly when its codec is built or about
// to be; a type without one, or whose codec only refuses, is not.
bool Offered(const CodecEntry& entry) {
  return entry.state == CodecState::kReady || entry.state == CodecState::kPending;
}

bool Runs(const CodecEntry& entry) {
  return entry.state == CodecState::kReady || entry.state == CodecState::kRefuses;
}

std::string RowName(int type_index) {
  return std::to_string(type_index) + " \"" + FormatTable()[type_index].name + "\"";
}

TEST(DispatchTable, AgreesWithTheFormatTableRowByRow) {
  EXPECT_EQ(DispatchRowFor(-1), nullptr);
  EXPECT_EQ(DispatchRowFor(kFileTypeCount), nullptr);
  for (int i = 0; i < kFileTypeCount; ++i) {
    SCOPED_TRACE(RowName(i));
    const FileTypeInfo& row = FormatTable()[i];
    const DispatchRow* dispatch = DispatchRowFor(i);
    ASSERT_NE(dispatch, nullptr);
    EXPECT_EQ(row.can_load == 1, Offered(dispatch->load)) << "can_load and the loader entry disagree";
    EXPECT_EQ(row.can_save == 1, Offered(dispatch->save)) << "can_save and the saver entry disagree";
    for (const CodecEntry* entry : {&dispatch->load, &dispatch->save})
      EXPECT_EQ(Runs(*entry), entry->run != nullptr) << "only built and refusing codecs have a function";
  }
}

TEST(DispatchTable, EveryBuiltLoaderHasItsTestAndFuzzTarget) {
  const fs::path root = ZEPCON_SOURCE_DIR;
  int built = 0;
  for (int i = 0; i < kFileTypeCount; ++i) {
    if (DispatchRowFor(i)->load.state != CodecState::kReady) continue;
    ++built;
    SCOPED_TRACE(RowName(i));
    const std::string stem = FileStem(i);
    ASSERT_FALSE(stem.empty()) << "the row has no extension: name its files in kFileStems";
    EXPECT_TRUE(fs::exists(root / "fuzz" / FuzzName(stem))) << "missing fuzz/" << FuzzName(stem);
    EXPECT_TRUE(HasFileNamed(root / "tests", stem + "_test.cpp")) << "missing tests/**/" << stem << "_test.cpp";
  }
  EXPECT_GT(built, 0);
}

// The refusing codecs log why and fail, never writing a file, whatever
// container they are given.
TEST(DispatchTable, RefusingCodecsFailWithAReasonAndWriteNothing) {
  test::TempDir dir;
  const std::string source = dir.File("source.bin");
  test::WriteText(source, "\x53\x80\xF6\x34\x40\x60\x00\x00 some bytes");
  int refusals = 0;
  for (int i = 0; i < kFileTypeCount; ++i) {
    for (const bool saving : {false, true}) {
      const DispatchRow* dispatch = DispatchRowFor(i);
      if ((saving ? dispatch->save : dispatch->load).state != CodecState::kRefuses) continue;
      ++refusals;
      SCOPED_TRACE(RowName(i) + (saving ? " saver" : " loader"));
      test::LogCapture log;
      FileConverter converter;
      ASSERT_EQ(converter.InitData(FormatTable()[i].data_kind), 1);
      const std::string destination = dir.File("out" + std::to_string(i));
      EXPECT_EQ(saving ? converter.SaveFile(destination.c_str(), i) : converter.LoadFile(source.c_str(), i), 0);
      const std::string& text = log.Text();
      ASSERT_EQ(text.rfind(saving ? "--- Saving file [" : "--- Loading file [", 0), 0u) << text;
      EXPECT_NE(text.substr(text.find('\n') + 1), "") << "no reason logged after the headline";
      EXPECT_STREQ(CodecAvailability(i, saving), "no");
      converter.DestroyData();
    }
  }
  EXPECT_GT(refusals, 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);  // the source only
}

}  // namespace
}  // namespace zepcon
