// The command-line tool, run as a user runs it.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/format_table.h"
#include "core/pipeline/dispatch_table.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

struct CliRun {
  int status;
  std::string out;
};

CliRun Cli(const std::string& arguments) {
  CliRun run;
  run.status = test::RunCommand(std::string(ZEPCON_CLI_PATH) + " --log /dev/null " + arguments, &run.out);
  return run;
}

CliRun CliWithErrors(const std::string& arguments) { return Cli(arguments + " 2>&1"); }

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// Each row says whether its loader and saver are built, as the dispatch
// table has them: "yes", "no" for a type that has none (or only refuses),
// "not yet" for one still to come.
TEST(Cli, FormatsTellWhichCodecsAreBuilt) {
  const CliRun run = Cli("formats");
  ASSERT_EQ(run.status, 0);
  std::istringstream lines(run.out);
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line, "index\textension\tname\tkind\tcan load\tcan save");
  auto word = [](const CodecEntry& entry) {
    return entry.state == CodecState::kReady ? "yes" : entry.state == CodecState::kPending ? "not yet" : "no";
  };
  // Every row in index order; the placeholder of no type is left out.
  int index = 0, rows = 0;
  for (; std::getline(lines, line); ++index, ++rows) {
    while (index < kFileTypeCount && !FileTypeRow(index)) ++index;
    ASSERT_LT(index, kFileTypeCount) << line;
    const FileTypeInfo& row = FormatTable()[index];
    const DispatchRow& dispatch = *DispatchRowFor(index);
    EXPECT_EQ(line, std::to_string(index) + "\t" + row.extension + "\t" + row.name + "\t" +
                        DataKindName(row.data_kind) + "\t" + word(dispatch.load) + "\t" + word(dispatch.save));
  }
  EXPECT_EQ(rows, kFileTypeCount - 1);
  EXPECT_EQ(run.out.find("\n53\t"), std::string::npos);
  for (const char* fixed : {"\n18\tOFF\tOff text\t3D Model\tyes\tyes\n", "\n43\tPIC\tPic\tBitMap\tno\tno\n",
                            "\n48\tBLP\tWar3 picture\tBitMap\tyes\tno\n"})
    EXPECT_NE(run.out.find(fixed), std::string::npos) << fixed;
}

TEST(Cli, IdentifyPrintsOneLinePerFile) {
  test::TempDir dir;
  test::WriteText(dir.Path() / "a.off", "OFF\n");
  test::WriteText(dir.Path() / "b.dat", "nothing known");
  const CliRun run = Cli("identify " + Quoted(dir.File("a.off")) + " " + Quoted(dir.File("b.dat")));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "18\tOff text\t" + dir.File("a.off") + "\n53\tunknown\t" + dir.File("b.dat") + "\n");
  const CliRun missing = CliWithErrors("identify " + Quoted(dir.File("none.off")));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find("cannot open"), std::string::npos);
}

TEST(Cli, ConvertsTextAndRefusesToOverwriteWithoutForce) {
  test::TempDir dir;
  const std::string content = "line one\r\nline two\n\x01\xff";
  test::WriteText(dir.Path() / "in.txt", content);
  const std::string source = Quoted(dir.File("in.txt"));
  const std::string destination = Quoted(dir.File("out.txt"));
  ASSERT_EQ(Cli("convert " + source + " " + destination).status, 0);
  const auto bytes = test::ReadBytes(dir.File("out.txt"));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), content);

  const CliRun again = CliWithErrors("convert " + source + " " + destination);
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.out.find("already exists"), std::string::npos);
  EXPECT_EQ(Cli("convert " + source + " " + destination + " --force").status, 0);
}

TEST(Cli, UsageErrorsExitWithTwo) {
  test::TempDir dir;
  test::WriteText(dir.Path() / "in.txt", "x");
  const std::string source = Quoted(dir.File("in.txt"));
  EXPECT_EQ(CliWithErrors("").status, 2);
  EXPECT_EQ(CliWithErrors("convert " + source).status, 2);
  EXPECT_EQ(CliWithErrors("convert " + source + " " + Quoted(dir.File("o.bmp"))).status, 2);  // other kind
  EXPECT_EQ(CliWithErrors("convert " + source + " " + Quoted(dir.File("o")) ).status, 2);    // no type
  EXPECT_EQ(CliWithErrors("--log-mode 9 formats").status, 2);
  EXPECT_EQ(CliWithErrors("nosuchcommand").status, 2);
  EXPECT_EQ(Cli("--help").status, 0);
  EXPECT_EQ(Cli("--version").status, 0);
}

TEST(Cli, AFailedConversionNamesItsStage) {
  test::TempDir dir;
  test::WriteText(dir.Path() / "in.txt", "x");
  const CliRun run = CliWithErrors("convert " + Quoted(dir.File("in.txt")) + " " +
                                Quoted(dir.File("no/such/folder/out.txt")));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("Error saving"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Error opening file"), std::string::npos) << run.out;
  const CliRun unknown = CliWithErrors("convert " + Quoted(dir.File("in.txt")) + "x " + Quoted(dir.File("o.txt")));
  EXPECT_EQ(unknown.status, 1);
}

TEST(Cli, BatchGoesOnAfterAFailureAndReportsEachFile) {
  test::TempDir dir;
  std::filesystem::create_directory(dir.Path() / "out");
  test::WriteText(dir.Path() / "a.txt", "first");
  test::WriteText(dir.Path() / "b.unknown", "???");
  test::WriteText(dir.Path() / "c.txt", "third");
  const CliRun run = Cli("convert --to TXT " + Quoted(dir.File("a.txt")) + " " + Quoted(dir.File("b.unknown")) + " " +
                      Quoted(dir.File("c.txt")) + " -o " + Quoted(dir.File("out")));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("[1/3] " + dir.File("a.txt") + " -> " + dir.File("out/a.txt") + ": ok\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("[2/3] " + dir.File("b.unknown") + " -> ?: failed: unknown filetype\n"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("[3/3] " + dir.File("c.txt") + " -> " + dir.File("out/c.txt") + ": ok\n"),
            std::string::npos);
  const auto third = test::ReadBytes(dir.File("out/c.txt"));
  EXPECT_EQ(std::string(third.begin(), third.end()), "third");

  // Beside the source, a type that converts a file onto itself is refused.
  const CliRun onto_itself = Cli("convert --to 51 " + Quoted(dir.File("a.txt")));
  EXPECT_EQ(onto_itself.status, 1);
  EXPECT_NE(onto_itself.out.find("failed: the destination is the source"), std::string::npos) << onto_itself.out;
}

TEST(Cli, EveryCorpusFileIsIdentifiedAsItsManifestSays) {
  const auto& manifest = test::CorpusManifest();
  if (manifest.empty()) GTEST_SKIP() << "no corpus";
  std::string arguments;
  for (const auto& entry : manifest) arguments += " " + Quoted((test::CorpusDir() / entry.path).string());
  const CliRun run = Cli("identify" + arguments);
  ASSERT_EQ(run.status, 0);
  std::istringstream lines(run.out);
  for (const auto& listed : manifest) {
    const test::CorpusEntry entry = test::IdentifiedAs(listed);
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line, std::to_string(entry.expected_type) + "\t" + entry.expected_name + "\t" +
                        (test::CorpusDir() / entry.path).string());
  }
}

}  // namespace
}  // namespace zepcon
