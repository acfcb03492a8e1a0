// "mon" models (FORM "REFL"): recognised by their header, then refused with
// the reason, leaving the model empty.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/type_recognition.h"
#include "formats3d/games_helpers.h"
#include "formats3d/lwo_helpers.h"

namespace zepcon::test {
namespace {

constexpr int kMonType = 17;

std::vector<uint8_t> ReflForm() {
  Iff f;
  f.Begin("FORM").Id("REFL").Begin("DATA").U32(1).U32(2).End().End();
  return f.bytes;
}

TEST(Mon, IsRecognisedByItsFormTypeAlone) {
  TempDir temp;
  const std::string named = temp.File("thing.mon"), other = temp.File("thing.dat");
  WriteBytes(named, ReflForm());
  WriteBytes(other, ReflForm());
  EXPECT_EQ(DetermineTypeOfPath(named.c_str()), kMonType);
  EXPECT_EQ(DetermineTypeOfPath(other.c_str()), kMonType);
  // The name alone is not enough: the type needs its header.
  const std::string bare = temp.File("empty.mon");
  WriteBytes(bare, {'n', 'o', 't', ' ', 'a', ' ', 'f', 'o', 'r', 'm', 0, 0});
  EXPECT_EQ(DetermineTypeOfPath(bare.c_str()), TYPE_UNKNOWN);
}

TEST(Mon, IsRefusedWithTheReasonAndNothingStored) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* logged;
  };
  std::vector<uint8_t> lwob = ReflForm();
  std::memcpy(lwob.data() + 8, "LWOB", 4);
  const Case cases[] = {
      {"a REFL form", ReflForm(), "FORM REFL models has no public description; nothing loaded"},
      {"another form", lwob, "not an IFF FORM of type REFL"},
      {"too short for a header", {'F', 'O', 'R', 'M'}, "not an IFF FORM of type REFL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshModel fresh;
    LogCapture log;
    EXPECT_EQ(LoadFromBytes(fresh.model, LoadMon, c.bytes), 0);
    EXPECT_NE(log.ErrorText().find(c.logged), std::string::npos) << log.Text();
    EXPECT_EQ(fresh.model.vertexs_count, 0u);
    EXPECT_EQ(fresh.model.polygons_count, 0u);
  }
}

}  // namespace
}  // namespace zepcon::test
