#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/format_table.h"
#include "core/log.h"
#include "core/type_recognition.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

using test::LogCapture;

// A hand-made file: `size` bytes, zero unless set.
class FakeFile {
 public:
  explicit FakeFile(size_t size) : bytes_(size, 0) {}
  FakeFile& Text(size_t offset, const std::string& text) {
    std::copy(text.begin(), text.end(), bytes_.begin() + static_cast<long>(offset));
    return *this;
  }
  FakeFile& U16(size_t offset, uint32_t value) {
    bytes_[offset] = value & 0xFF;
    bytes_[offset + 1] = (value >> 8) & 0xFF;
    return *this;
  }
  FakeFile& U32(size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes_[offset + i] = (value >> (8 * i)) & 0xFF;
    return *this;
  }
  FakeFile& Byte(size_t offset, uint8_t value) {
    bytes_[offset] = value;
    return *this;
  }
  FakeFile& Resize(size_t size) {
    bytes_.resize(size, 0);
    return *this;
  }
  int Type() const {
    const size_t header = std::min(bytes_.size(), kHeaderBytes);
    return TypeFromHeaderBytes(bytes_.data(), header, bytes_.size(), ReadAt, const_cast<FakeFile*>(this));
  }

 private:
  static int ReadAt(void* context, uint64_t offset, void* destination, size_t count) {
    const auto& bytes = static_cast<FakeFile*>(context)->bytes_;
    if (offset > bytes.size() || count > bytes.size() - offset) return 0;
    std::memcpy(destination, bytes.data() + offset, count);
    return 1;
  }
  std::vector<uint8_t> bytes_;
};

std::string Bin(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

struct HeaderCase {
  const char* what;
  int expected;
  FakeFile matching;
  FakeFile just_missing;  // one byte or one size unit away: must not match
};

std::vector<HeaderCase> HeaderCases() {
  const std::string viper_model = std::string("0SERFNIM") + Bin({1, 0, 0, 0, 0, 0, 0, 0}) + "!IGM";
  const std::string viper_texture = std::string("0SER XET") + Bin({3, 0, 0, 0, 0, 0, 0, 0}) + "!IGM";
  const std::string mafia_model =
      std::string("4DS") + Bin({0, 0x1D, 0, 0, 0, 0x6F, 0x4A, 0x4A, 0xD2, 0xC2, 0x01, 0x02, 0x00});
  return {
      {"FORM LWOB", TYPE_LWOB, FakeFile(64).Text(0, "FORM").Text(8, "LWOB"),
       FakeFile(64).Text(0, "FORM").Text(8, "LWOC")},
      {"FORM LWO2", TYPE_LWO2, FakeFile(64).Text(0, "FORM").Text(8, "LWO2"),
       FakeFile(64).Text(0, "FORN").Text(8, "LWO2")},
      {"FORM TDDD", TYPE_IOB, FakeFile(64).Text(0, "FORM").Text(8, "TDDD"),
       FakeFile(11).Text(0, "FORM").Text(8, "TDD")},
      {"FORM REFL", TYPE_MON, FakeFile(64).Text(0, "FORM").Text(8, "REFL"),
       FakeFile(64).Text(0, "FORM").Text(8, "REFK")},
      {"MS3D", TYPE_MS3D, FakeFile(40).Text(0, "MS3D000000"), FakeFile(40).Text(0, "MS3E000000")},
      {"OFF", TYPE_OFF, FakeFile(3).Text(0, "OFF"), FakeFile(2).Text(0, "OF")},
      {"cel", TYPE_CEL, FakeFile(32).Byte(0, 0x19).Byte(1, 0x91), FakeFile(32).Byte(0, 0x19).Byte(1, 0x92)},
      {"BM", TYPE_BMP, FakeFile(54).Text(0, "BM"), FakeFile(1).Text(0, "B")},
      {"p model", TYPE_FF7_P, FakeFile(128).U32(0, 1).U32(4, 1).U32(8, 1).U32(60, 1).U32(12, 7).U32(28, 7),
       FakeFile(128).U32(0, 1).U32(4, 1).U32(8, 1).U32(60, 1).U32(12, 7).U32(28, 8)},
      {"p model cut before byte 64", TYPE_FF7_P,
       FakeFile(64).U32(0, 1).U32(4, 1).U32(8, 1).U32(60, 1).U32(12, 7).U32(28, 7),
       FakeFile(63).U32(0, 1).U32(4, 1).U32(8, 1).U32(12, 7).U32(28, 7)},
      {"Milkshape ascii", TYPE_MS3D_ASCII, FakeFile(40).Text(0, "// MilkShape 3D ASCII"),
       FakeFile(40).Text(0, "// MilkShapf 3D ASCII")},
      {"Rhinoceros", TYPE_3DM, FakeFile(40).Text(0, "3D Geometry File Format "),
       FakeFile(23).Text(0, "3D Geometry File Format")},
      {"SGI", TYPE_SGI, FakeFile(512).Byte(0, 1).Byte(1, 0xDA).Byte(2, 1).Byte(5, 3),
       FakeFile(512).Byte(0, 1).Byte(1, 0xDA).Byte(2, 1).Byte(5, 4)},
      {"SGI storage byte", TYPE_SGI, FakeFile(512).Byte(0, 1).Byte(1, 0xDA).Byte(2, 0).Byte(5, 1),
       FakeFile(512).Byte(0, 1).Byte(1, 0xDA).Byte(2, 2).Byte(5, 1)},
      {"MD3", TYPE_MD3, FakeFile(108).Text(0, "IDP3").Byte(4, 0x0F), FakeFile(108).Text(0, "IDP3").Byte(4, 0x0E)},
      {"hrc", TYPE_HRC, FakeFile(40).Text(0, ":HEADER_BLOCK 2"), FakeFile(40).Text(0, ":HEADER_BLOC 2")},
      {"rsd on the fourth line", TYPE_RSD, FakeFile(80).Text(0, "a\r\n\r\nb\nc\r\n@RSD940102\r\n"),
       FakeFile(80).Text(0, "a\r\nb\nc\nd\n@RSD940102\n")},
      {"MMP", TYPE_MMP, FakeFile(76).Text(0, "MMP").Byte(3, 0), FakeFile(76).Text(0, "MMP ")},
      {"BLP1", TYPE_BLP, FakeFile(160).Text(0, "BLP1"), FakeFile(160).Text(0, "BLP2")},
      {"MDLX", TYPE_MDX, FakeFile(40).Text(0, "MDLX"), FakeFile(40).Text(0, "MDLW")},
      {"JPEG with JFIF", TYPE_JPG, FakeFile(40).Text(0, Bin({0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10}) + "JFIF"),
       FakeFile(40).Text(0, Bin({0xFF, 0xD8, 0xFE, 0xE0, 0, 0x10}) + "JFIF")},
      {"JPEG with Exif", TYPE_JPG, FakeFile(40).Text(0, Bin({0xFF, 0xD8, 0xFF, 0xE1, 0x12, 0x34}) + "Exif"),
       FakeFile(2).Text(0, Bin({0xFF, 0xD8}))},
      {"JPEG without application segment", TYPE_JPG, FakeFile(40).Text(0, Bin({0xFF, 0xD8, 0xFF, 0xDB})),
       FakeFile(40).Text(0, Bin({0xFF, 0xD9, 0xFF, 0xDB}))},
      {"battle skeleton", TYPE_FF7_BATTLE, FakeFile(52 + 12 * 5).U32(12, 5), FakeFile(52 + 12 * 5 + 1).U32(12, 5)},
      {"P6", TYPE_PPM, FakeFile(20).Text(0, "P6\n2 2\n255\n"), FakeFile(20).Text(0, "P5\n2 2\n255\n")},
      {"DirectX text", TYPE_X, FakeFile(40).Text(0, "xof 0302txt 0032"), FakeFile(40).Text(0, "xof 0302bin 0032")},
      {"3ds main chunk", TYPE_3DS, FakeFile(100).U16(0, 0x4D4D).U32(2, 100), FakeFile(101).U16(0, 0x4D4D).U32(2, 100)},
      {"3ds editor chunk", TYPE_3DS, FakeFile(90).U16(0, 0x3DAA).U32(2, 90), FakeFile(90).U16(0, 0x3DAB).U32(2, 90)},
      {"3ds keyframer chunk", TYPE_3DS, FakeFile(90).U16(0, 0xC23D).U32(2, 90), FakeFile(90).U16(0, 0xC23D).U32(2, 91)},
      {"FF7 texture, palette form", TYPE_FF7_TEX, FakeFile(8 * 4 + 4 * 3 + 236).U32(60, 8).U32(64, 4).U32(88, 3),
       FakeFile(8 * 4 + 4 * 3 + 237).U32(60, 8).U32(64, 4).U32(88, 3)},
      {"FF7 texture, 240 form", TYPE_FF7_TEX, FakeFile(8 * 4 + 4 * 3 + 240).U32(60, 8).U32(64, 4).U32(88, 3),
       FakeFile(8 * 4 + 4 * 3 + 239).U32(60, 8).U32(64, 4).U32(88, 3)},
      {"FF7 texture, direct colour", TYPE_FF7_TEX, FakeFile(2 * 32 + 240).U32(60, 8).U32(64, 4),
       FakeFile(2 * 32 + 241).U32(60, 8).U32(64, 4)},
      {"Truespace", TYPE_COB, FakeFile(40).Text(0, "Caligari V00.01BLH"), FakeFile(40).Text(0, "Caligari V00.01ALH")},
      {"Viper model", TYPE_VIPER_MOD, FakeFile(40).Text(0, viper_model),
       FakeFile(40).Text(0, viper_model).Byte(8, 2)},
      {"Viper texture", TYPE_VIPER_TEX, FakeFile(200).Text(0, viper_texture),
       FakeFile(200).Text(0, viper_texture).Byte(19, 'N')},
      {"Megaman", TYPE_TM, FakeFile(40).Text(0, "TM").Byte(4, 9), FakeFile(40).Text(0, "TM").Byte(3, 1)},
      {"xsi", TYPE_XSI, FakeFile(40).Text(0, "xsi 0300txt 0032"), FakeFile(40).Text(0, "xsi 0300bin 0032")},
      {"tim by size", TYPE_TIM, FakeFile(2 * 6 * 4 + 20).U16(16, 6).U16(18, 4),
       FakeFile(2 * 6 * 4 + 21).U16(16, 6).U16(18, 4)},
      {"tim with palette", TYPE_TIM, FakeFile(40 + 2 * 3 * 2 + 20).U16(0, 16).U16(8, 40).U16(56, 3).U16(58, 2),
       FakeFile(40 + 2 * 3 * 2 + 20).U16(0, 16).U16(8, 40).U16(56, 3).U16(58, 3)},
      {"FF8 battle model", TYPE_FF8_DAT, FakeFile(120).U32(48, 120), FakeFile(120).U32(48, 121)},
      {"Revolt", TYPE_REVOLT, FakeFile(60 * 2 + 24 * 3 + 4).U16(0, 2).U16(2, 3),
       FakeFile(60 * 2 + 24 * 3 + 5).U16(0, 2).U16(2, 3)},
      {"Pic", TYPE_PIC, FakeFile(104).Text(0, Bin({0x53, 0x80, 0xF6, 0x34, 0x40, 0x60, 0, 0})),
       FakeFile(104).Text(0, Bin({0x53, 0x80, 0xF6, 0x34, 0x40, 0x60, 0, 1}))},
      {"Open Flight, known header", TYPE_FLT,
       FakeFile(400).Text(0, Bin({0, 1, 1, 0x34, 0x64, 0x62, 0, 0, 0, 0, 0, 0, 0, 0, 6, 0x22})),
       FakeFile(400).Text(0, Bin({0, 1, 1, 0x34, 0x64, 0x62, 0, 0, 0, 0, 0, 0, 0, 0, 6, 0x23}))},
      {"Open Flight, 0x140 form", TYPE_FLT, FakeFile(400).Text(0, Bin({0, 1, 1, 0x40})).Text(12, Bin({0, 0, 0, 0x0B})),
       FakeFile(400).Text(0, Bin({0, 1, 1, 0x40})).Text(12, Bin({0, 0, 0, 0x0C}))},
      {"Mafia model", TYPE_MAFIA_4DS, FakeFile(40).Text(0, mafia_model),
       FakeFile(40).Text(0, mafia_model).Byte(4, 0x1E)},
      // Any time stamp and material count: only the signature and version are tested.
      {"Mafia model, other stamp", TYPE_MAFIA_4DS,
       FakeFile(40).Text(0, mafia_model).Text(6, Bin({0x30, 0xF6, 0x5B, 0x4F, 0x53, 0x8D, 0xDC, 0x01, 12, 0})),
       FakeFile(40).Text(0, mafia_model).Byte(3, ' ')},
      {"Mafia texture", TYPE_MAFIA_TEX, FakeFile(2 * 4 * 3 + 22).Text(0, "TEX").U16(10, 4).U16(6, 3),
       FakeFile(2 * 4 * 3 + 23).Text(0, "TEX").U16(10, 4).U16(6, 3)},
      {"ASE", TYPE_ASE, FakeFile(40).Text(0, "*3DSMAX_ASCIIEXPORT 200"), FakeFile(40).Text(0, "*3DSMAX_ASCIIEXPOR 200")},
      // A PNG of exactly 120 bytes with 120 at offset 48 would also pass the
      // FF8 size rule, which is tested later.
      {"PNG", TYPE_PNG, FakeFile(120).Text(0, Bin({0x89, 'P', 'N', 'G', 13, 10, 0x1A, 10})).U32(48, 120),
       FakeFile(120).Text(0, Bin({0x89, 'P', 'N', 'G', 13, 10, 0x1A, 11}))},
      {"Blitz", TYPE_B3D, FakeFile(64).Text(0, "BB3D").U32(4, 56), FakeFile(64).Text(0, "BB3D").U32(4, 57)},
  };
}

TEST(TypeFromHeader, EachTestMatchesItsHeaderAndNotANearMiss) {
  LogCapture quiet;
  for (const HeaderCase& c : HeaderCases()) {
    EXPECT_EQ(c.matching.Type(), c.expected) << c.what;
    EXPECT_EQ(c.just_missing.Type(), TYPE_UNKNOWN) << c.what << " (near miss)";
  }
}

TEST(TypeFromHeader, EarlierTestsWinAndProbesStayInsideTheHeader) {
  LogCapture log;
  // "OFF" is tested before "BM"-like later rules: a file that is both a
  // Revolt size match and starts with "OFF" is Off text.
  FakeFile off_and_revolt(4);
  off_and_revolt.Text(0, "OFF");
  EXPECT_EQ(off_and_revolt.Type(), TYPE_OFF);
  // A 4-byte file of zeros satisfies the Revolt size rule (60*0 + 24*0 + 4).
  EXPECT_EQ(FakeFile(4).Type(), TYPE_REVOLT);
  // An empty file matches nothing.
  EXPECT_EQ(FakeFile(0).Type(), TYPE_UNKNOWN);
  // A FORM of an unknown kind goes on to the other tests (and logs its line).
  EXPECT_EQ(FakeFile(64).Text(0, "FORM").Text(8, "ILBM").Type(), TYPE_UNKNOWN);
  EXPECT_TRUE(log.Contains(" Found FORM header  "));
  // Size rules compare header fields with the whole file, not the header.
  FakeFile big(1000);
  big.U32(48, 1000);
  EXPECT_EQ(big.Type(), TYPE_FF8_DAT);
}

TEST(TypeFromExtension, RulesAndExamples) {
  EXPECT_EQ(TypeFromExtensionOfName("notes.txt"), TYPE_TEXT);  // not Milkshape ascii
  EXPECT_EQ(TypeFromExtensionOfName("a.tex"), TYPE_VIPER_TEX);
  EXPECT_EQ(TypeFromExtensionOfName("a.lwo"), TYPE_LWO2);
  EXPECT_EQ(TypeFromExtensionOfName("a.tar.lwo"), TYPE_LWO2);
  EXPECT_EQ(TypeFromExtensionOfName("MODEL.Obj"), TYPE_OBJ);
  EXPECT_EQ(TypeFromExtensionOfName("a.tga"), TYPE_TGA);
  EXPECT_EQ(TypeFromExtensionOfName("name"), TYPE_UNKNOWN);
  // An empty extension names the battle skeleton row, which needs its header anyway.
  // (The placeholder row of TYPE_UNKNOWN, which has no extension either, is no row.)
  EXPECT_EQ(TypeFromExtensionOfName("a."), TYPE_FF7_BATTLE);
  EXPECT_EQ(TypeFromExtensionOfName("a.gltf"), TYPE_GLTF);
  EXPECT_EQ(TypeFromExtensionOfName("a.abcdefghij"), TYPE_UNKNOWN);  // longer than nine characters
  EXPECT_EQ(TypeFromExtensionOfName("a.3ds"), TYPE_3DS);             // second pass: header types too
}

TEST(DetermineType, HeaderWinsAndExtensionDecidesOnlyHeaderlessTypes) {
  test::TempDir dir;
  LogCapture log;
  auto type_of = [&](const std::string& name, const std::string& content) {
    test::WriteText(dir.Path() / name, content);
    return DetermineTypeOfPath(dir.File(name).c_str());
  };
  EXPECT_EQ(type_of("model.obj", "OFF\n3 1 0\n"), TYPE_OFF);
  EXPECT_EQ(type_of("picture.tga", "anything at all"), TYPE_TGA);
  EXPECT_EQ(type_of("scene.3ds", std::string("MM\x10\0\0\0rest", 10)), TYPE_UNKNOWN);  // needs its header
  EXPECT_EQ(type_of("empty.txt", ""), TYPE_TEXT);
  EXPECT_EQ(type_of("noextension", "OFF\n"), TYPE_OFF);
  EXPECT_EQ(type_of("noextension2", "v 1 2 3\n"), TYPE_UNKNOWN);
  EXPECT_TRUE(log.Contains("Determining header... Data Type: Off text Extension Type: WaveFront obj\n"));
  EXPECT_TRUE(log.Contains(" Data Type: unknown Extension Type: TarGA picture\n"));
}

// A ".off" name that no header test recognises is taken for OFF when its
// first line that is not blank and not a comment opens with an OFF keyword.
TEST(DetermineType, OffKeywordAfterCommentsWithTheOffName) {
  test::TempDir dir;
  LogCapture log;
  const struct {
    const char* name;
    const char* content;
    int type;
  } cases[] = {
      {"a.off", "# made by hand\n\n  COFF\n3 1 0\n", TYPE_OFF},
      {"b.OFF", "\n\t STCNnOFF\n", TYPE_OFF},
      {"c.off", "\n4OFF\n", TYPE_OFF},
      {"d.off", "NOFF8 6 12\n", TYPE_OFF},
      {"e.off", "appearance {\n}\nOFF\n", TYPE_UNKNOWN},
      {"f.off", " OFFSET 3\n", TYPE_UNKNOWN},
      {"g.off", "# only a comment\n", TYPE_UNKNOWN},
      {"h.dat", "# comment\nCOFF\n", TYPE_UNKNOWN},
      {"i.off", "BM and the rest of a bitmap", TYPE_BMP},
  };
  for (const auto& c : cases) {
    test::WriteText(dir.Path() / c.name, c.content);
    EXPECT_EQ(DetermineTypeOfPath(dir.File(c.name).c_str()), c.type) << c.name;
  }
}

TEST(DetermineType, EveryCorpusFileIsRecognisedAsItsManifestSays) {
  const auto& manifest = test::CorpusManifest();
  if (manifest.empty()) GTEST_SKIP() << "no corpus at " << test::CorpusDir();
  LogCapture quiet;
  int checked = 0;
  for (const test::CorpusEntry& listed : manifest) {
    const test::CorpusEntry entry = test::IdentifiedAs(listed);
    const std::string path = (test::CorpusDir() / entry.path).string();
    const int type = DetermineTypeOfPath(path.c_str());
    EXPECT_EQ(type, entry.expected_type) << entry.path;
    const FileTypeInfo* row = FileTypeRow(type);
    EXPECT_EQ(row ? std::string(row->name) : std::string("unknown"), entry.expected_name) << entry.path;
    ++checked;
  }
  EXPECT_GT(checked, 400);
}

}  // namespace
}  // namespace zepcon
