// The desktop file types: the installed XML and the desktop entry follow the
// format table, each magic is a header our own recognition accepts, and the
// desktop database built from the XML names real files as we do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/mime_types.h"
#include "core/format_table.h"
#include "core/type_recognition.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  const auto bytes = test::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(MimeTypes, InstalledFilesAreWhatTheTableGives) {
  const fs::path source = ZEPCON_SOURCE_DIR;
  EXPECT_EQ(ReadText(source / "data" / "zepcon-mime.xml"), MimeInfoXml())
      << "regenerate with: zepcon-cli mime-info > data/zepcon-mime.xml";
  const std::string desktop = ReadText(source / "share" / "zepcon.desktop");
  EXPECT_NE(desktop.find("\nMimeType=" + DesktopMimeTypes() + "\n"), std::string::npos)
      << "the desktop entry's MimeType= line is: zepcon-cli mime-info --desktop";
  // The thumbnailer draws every type the program opens.
  const std::string thumbnailer = ReadText(source / "share" / "zepcon.thumbnailer");
  EXPECT_NE(thumbnailer.find("\nMimeType=" + DesktopMimeTypes() + "\n"), std::string::npos)
      << "the thumbnailer's MimeType= line is: zepcon-cli mime-info --desktop";
  EXPECT_NE(thumbnailer.find("\nExec=zepcon-thumbnailer -s %s %i %o\n"), std::string::npos);
}

// Tests that look at sizes stored in the file, or only at sizes: no fixed
// bytes to give the desktop, the extension must do.
const std::set<int> kSizeOnlyHeaderTests = {TYPE_FF7_BATTLE, TYPE_FF8_DAT, TYPE_REVOLT, TYPE_FF7_TEX, TYPE_TIM};

// A header holding a signature's bytes and zeros elsewhere.
std::vector<uint8_t> HeaderOf(const MimeSignature& signature) {
  std::vector<uint8_t> header(kHeaderBytes, 0);
  for (const MimeMatch& match : signature) {
    EXPECT_LE(match.offset + match.bytes.size(), header.size());
    std::copy(match.bytes.begin(), match.bytes.end(), header.begin() + match.offset);
  }
  return header;
}

TEST(MimeTypes, EveryRowHasAnEntryAndEveryMagicIsAHeaderOfItsRow) {
  const std::vector<MimeRow>& rows = MimeRows();
  ASSERT_EQ(rows.size(), size_t{kFileTypeCount});
  std::map<std::string, bool> registered_of_type;
  for (int i = 0; i < kFileTypeCount; ++i) {
    const MimeRow& row = rows[static_cast<size_t>(i)];
    ASSERT_EQ(row.type, i);
    const std::string mime = row.mime;
    ASSERT_NE(mime.find('/'), std::string::npos) << mime;
    const auto [known, added] = registered_of_type.emplace(mime, row.registered);
    EXPECT_EQ(known->second, row.registered) << mime << ": rows sharing a type disagree";
    EXPECT_TRUE(row.registered || mime.find("/x-") != std::string::npos) << mime;

    const FileTypeInfo& info = FormatTable()[i];
    // A type the desktop must tell by content has a magic, unless the shared
    // database already has one or the test has no fixed bytes.
    if (info.needs_header && !row.registered && !kSizeOnlyHeaderTests.count(i)) {
      EXPECT_FALSE(row.magic.empty()) << info.name;
    }

    for (const MimeSignature& signature : row.magic) {
      ASSERT_FALSE(signature.empty()) << info.name;
      const std::vector<uint8_t> header = HeaderOf(signature);
      const int found = TypeFromHeaderBytes(header.data(), header.size(), header.size(), nullptr, nullptr);
      if (row.magic_is_whole) {
        EXPECT_EQ(found, i) << info.name;
      } else {
        EXPECT_TRUE(found == i || found == TYPE_UNKNOWN) << info.name << " read as " << found;
      }
    }
  }
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

std::string LowerExtensionOf(const std::string& path) {
  std::string extension = fs::path(path).extension().string();
  if (!extension.empty()) extension.erase(0, 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

// The database built from our XML on top of the system's, asked through the
// desktop's own query tool, by name and by content alone.
TEST(MimeTypes, TheDesktopNamesRealFilesOfEachRowWithAHeaderTest) {
  for (const char* program : {"update-mime-database", "xdg-mime", "gio"})
    if (!test::HaveProgram(program)) GTEST_SKIP() << program << " is not installed";
  if (!fs::exists(test::CorpusDir() / "MANIFEST.tsv")) GTEST_SKIP() << "no corpus";
  test::TempDir dir;
  fs::create_directories(dir.Path() / "mime" / "packages");
  test::WriteText(dir.Path() / "mime" / "packages" / "zepcon-mime.xml", MimeInfoXml());
  ASSERT_EQ(test::RunCommand("update-mime-database " + Quoted((dir.Path() / "mime").string()) + " 2>&1"), 0);
  const std::string environment = "XDG_DATA_HOME=" + Quoted(dir.Path().string()) +
                                  " XDG_DATA_DIRS=/usr/local/share:/usr/share XDG_CURRENT_DESKTOP=GNOME ";
  auto query = [&](const std::string& path) {
    std::string out;
    test::RunCommand(environment + "xdg-mime query filetype " + Quoted(path) + " 2>/dev/null", &out);
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
  };

  // Per row, the first corpus file the header test gives it to, and among
  // those the first that carries the row's extension.
  std::map<int, std::string> any_file;
  std::map<int, std::string> named_file;
  for (const test::CorpusEntry& listed : test::CorpusManifest()) {
    const test::CorpusEntry entry = test::IdentifiedAs(listed);
    const FileTypeInfo* info = FileTypeRow(entry.expected_type);
    if (!info) continue;
    const std::string path = (test::CorpusDir() / entry.path).string();
    any_file.emplace(entry.expected_type, path);
    std::string extension = info->extension;
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!extension.empty() && LowerExtensionOf(path) == extension) named_file.emplace(entry.expected_type, path);
  }

  int content_checks = 0;
  int name_checks = 0;
  for (const MimeRow& row : MimeRows()) {
    const FileTypeInfo& info = FormatTable()[row.type];
    if (const auto found = named_file.find(row.type); found != named_file.end()) {
      // Milkshape's text files share ".txt" with plain text, which keeps it.
      const char* expected = row.type == TYPE_MS3D_ASCII ? "text/plain" : row.mime;
      EXPECT_EQ(query(found->second), expected) << info.name << ": " << found->second;
      ++name_checks;
    }
    const auto found = any_file.find(row.type);
    if (found == any_file.end() || row.magic.empty() || !row.magic_is_whole) continue;
    // A name the database does not know: only the magic can tell.
    const fs::path copy = dir.Path() / ("sample" + std::to_string(row.type) + ".unknownext");
    fs::copy_file(found->second, copy);
    EXPECT_EQ(query(copy.string()), row.mime) << info.name << ": " << found->second;
    ++content_checks;
  }
  // The corpus holds files of most rows; a run that checked nearly nothing
  // has lost its files or its tools.
  EXPECT_GE(name_checks, 25);
  EXPECT_GE(content_checks, 15);
}

}  // namespace
}  // namespace zepcon
