// "mon" models (FORM "REFL"): recognised by their header alone, then
// refused with the reason, leaving the model empty.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/type_recognition.h"
#include "formats3d/games_helpers.h"
#include "formats3d/lwo_helpers.h"

namespace zepcon::test {
namespace {

TEST(Mon, IsRecognisedByItsFormTypeThenRefusedWithTheReason) {
  Iff f;
  f.Begin("FORM").Id("REFL").Begin("DATA").U32(1).U32(2).End().End();
  std::vector<uint8_t> lwob = f.bytes;
  std::memcpy(lwob.data() + 8, "LWOB", 4);
  TempDir temp;
  const std::string other_name = temp.File("thing.dat"), not_a_form = temp.File("thing.mon");
  WriteBytes(other_name, f.bytes);
  WriteBytes(not_a_form, {'n', 'o', 't', ' ', 'a', ' ', 'f', 'o', 'r', 'm', 0, 0});
  EXPECT_EQ(DetermineTypeOfPath(other_name.c_str()), 17);
  EXPECT_EQ(DetermineTypeOfPath(not_a_form.c_str()), TYPE_UNKNOWN);  // the type needs its header

  const std::pair<std::vector<uint8_t>, const char*> cases[] = {
      {f.bytes, "FORM REFL models has no public description; nothing loaded"},
      {lwob, "not an IFF FORM of type REFL"},
      {{'F', 'O', 'R', 'M'}, "not an IFF FORM of type REFL"},
  };
  for (const auto& [bytes, logged] : cases) {
    SCOPED_TRACE(logged);
    FreshModel fresh;
    LogCapture log;
    EXPECT_EQ(LoadFromBytes(fresh.model, LoadMon, bytes), 0);
    EXPECT_NE(log.ErrorText().find(logged), std::string::npos) << log.Text();
    EXPECT_EQ(fresh.model.vertexs_count, 0u);
  }
}

}  // namespace
}  // namespace zepcon::test
