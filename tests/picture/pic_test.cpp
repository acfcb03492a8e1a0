// "Pic" pictures are recognised but refused, with the loader's words.
#include <gtest/gtest.h>

#include "picture/bitmap_data.h"
#include "picture/picture_codecs.h"
#include "game_picture_test_util.h"
#include "picture_test_util.h"

namespace zepcon::test {
namespace {

TEST(Pic, RecognisedPicturesAreRefused) {
  SKIP_WITHOUT_CORPUS("pictures/pic");
  BitmapData picture;
  LogCapture log;
  EXPECT_EQ(LoadFromFile(picture, LoadPic, CorpusPath("pictures/pic/noIcon_mentalimages.pic")), 0);
  EXPECT_EQ(log.Text(), "Loading pic...\nunusupported\n");
  EXPECT_EQ(picture.Mode(), MODE_UNDEFINED);
}

}  // namespace
}  // namespace zepcon::test
