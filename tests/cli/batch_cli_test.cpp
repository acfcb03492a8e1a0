// zepcon-cli convert --to with several workers: the same files, bytes and
// lines as a one-worker run, in input order, whatever fails on the way.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/format_table.h"
#include "support/test_support.h"

namespace zepcon {
namespace {

namespace fs = std::filesystem;

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

struct CliRun {
  int status;
  std::string out;
};

CliRun Cli(const std::string& arguments) {
  CliRun run;
  run.status = test::RunCommand(std::string(ZEPCON_CLI_PATH) + " --log /dev/null " + arguments, &run.out);
  return run;
}

std::string Joined(const std::vector<std::string>& files) {
  std::string out;
  for (const std::string& file : files) out += " " + Quoted(file);
  return out;
}

// Every file below a folder, by relative path, with its bytes.
std::map<std::string, std::vector<uint8_t>> TreeOf(const fs::path& root) {
  std::map<std::string, std::vector<uint8_t>> tree;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file()) tree[fs::relative(entry.path(), root).string()] = test::ReadBytes(entry.path());
  return tree;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A mix of small real pictures and models (small so the sanitizer build
// stays quick), with the files that share a base name, the unknown and the
// corrupt ones the corpus holds among them.
std::vector<std::string> MixedCorpusFiles() {
  std::vector<std::string> files;
  for (const char* folder : {"pictures/bmp/", "pictures/tga/", "pictures/jpg/", "pictures/sgi/", "pictures/ppm/",
                             "models/off/", "models/obj/", "models/3ds/", "models/ms3d/", "models/ase/"}) {
    int taken = 0;
    for (const test::CorpusEntry& entry : test::CorpusFiles(folder)) {
      const fs::path path = test::CorpusDir() / entry.path;
      std::error_code error;
      if (fs::file_size(path, error) > 150000 || error || taken == 8) continue;
      files.push_back(path.string());
      ++taken;
    }
  }
  return files;
}

TEST(ParallelBatch, ManyWorkersGiveTheBytesAndLinesOfOne) {
  const std::vector<std::string> files = MixedCorpusFiles();
  if (files.size() < 20) GTEST_SKIP() << "no corpus";
  test::TempDir dir;
  // One destination per kind: the pictures and models of the other kind
  // fail, among the files that convert.
  for (const char* to : {"tga", "3ds"}) {
    std::map<int, CliRun> runs;
    for (int jobs : {1, 4}) {
      const fs::path out = dir.Path() / (std::string(to) + std::to_string(jobs));
      fs::create_directories(out);
      runs[jobs] = Cli("convert --to " + std::string(to) + " -j " + std::to_string(jobs) + " -o " +
                       Quoted(out.string()) + Joined(files));
      EXPECT_EQ(runs[jobs].status, 1) << "some files fail";
    }
    const auto one = TreeOf(dir.Path() / (std::string(to) + "1"));
    const auto four = TreeOf(dir.Path() / (std::string(to) + "4"));
    EXPECT_GT(one.size(), 10u) << to;
    EXPECT_EQ(one.size(), four.size()) << to;
    for (const auto& [name, bytes] : one) {
      const auto other = four.find(name);
      ASSERT_NE(other, four.end()) << name;
      EXPECT_TRUE(other->second == bytes) << to << ": " << name << " differs";
    }

    // The lines: one per file, in input order, the same but for the folder.
    const std::vector<std::string> lines_one = Lines(runs[1].out);
    std::vector<std::string> lines_four = Lines(runs[4].out);
    ASSERT_EQ(lines_one.size(), files.size()) << to;
    ASSERT_EQ(lines_four.size(), files.size()) << to;
    const std::string folder_one = (dir.Path() / (std::string(to) + "1")).string();
    const std::string folder_four = (dir.Path() / (std::string(to) + "4")).string();
    int ok = 0;
    for (size_t k = 0; k < files.size(); ++k) {
      const std::string head = "[" + std::to_string(k + 1) + "/" + std::to_string(files.size()) + "] " + files[k] + " -> ";
      EXPECT_EQ(lines_one[k].rfind(head, 0), 0u) << lines_one[k];
      for (size_t at = lines_four[k].find(folder_four); at != std::string::npos; at = lines_four[k].find(folder_four))
        lines_four[k].replace(at, folder_four.size(), folder_one);
      EXPECT_EQ(lines_four[k], lines_one[k]);
      ok += lines_one[k].size() > 4 && lines_one[k].compare(lines_one[k].size() - 4, 4, ": ok") == 0;
    }
    EXPECT_GT(ok, 10) << to;
    EXPECT_LT(ok, static_cast<int>(files.size())) << to;
  }
}

// Files that write one destination: converted in input order whatever the
// number of workers, so the last one listed wins.
TEST(ParallelBatch, FilesSharingADestinationKeepTheirInputOrder) {
  const std::vector<std::string> pictures = {"pictures/bmp/Info_A8_R8_G8_B8.bmp", "pictures/tga/rgb-gimp-2.8.10-rle-top-left.tga"};
  for (const std::string& picture : pictures)
    if (!fs::exists(test::CorpusDir() / picture)) GTEST_SKIP() << "no corpus";
  std::map<int, std::vector<uint8_t>> result;
  for (int jobs : {1, 3}) {
    test::TempDir dir;
    fs::copy_file(test::CorpusDir() / pictures[0], dir.Path() / "same.bmp");
    fs::copy_file(test::CorpusDir() / pictures[1], dir.Path() / "same.tga");
    fs::copy_file(test::CorpusDir() / pictures[1], dir.Path() / "other.tga");
    // same.bmp and same.tga both write same.ppm (the later wins with --force).
    const CliRun run = Cli("convert --force --to ppm -j " + std::to_string(jobs) + " " + Quoted(dir.File("same.bmp")) +
                        " " + Quoted(dir.File("other.tga")) + " " + Quoted(dir.File("same.tga")));
    ASSERT_EQ(run.status, 0) << run.out;
    result[jobs] = test::ReadBytes(dir.File("same.ppm"));
    if (jobs == 1) {
      // What the later file alone gives.
      ASSERT_EQ(Cli("convert " + Quoted(dir.File("same.tga")) + " " + Quoted(dir.File("alone.ppm"))).status, 0);
      EXPECT_TRUE(test::ReadBytes(dir.File("alone.ppm")) == result[1]);
    }
  }
  EXPECT_FALSE(result[1].empty());
  EXPECT_TRUE(result[1] == result[3]);
}

// A 2 x 2 picture of one colour, 24 bits per pixel.
std::vector<uint8_t> SmallBmp(uint8_t red, uint8_t green, uint8_t blue) {
  std::vector<uint8_t> bmp = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0,
                              1, 0,   24, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0};
  bmp.resize(54, 0);
  for (int row = 0; row < 2; ++row) bmp.insert(bmp.end(), {blue, green, red, blue, green, red, 0, 0});
  return bmp;
}

// Models of different folders whose textures have one name: saved side by
// side, the texture left is the one of the last model listed (textures may
// be overwritten by default), as a one-by-one run leaves it.
TEST(ParallelBatch, SameNamedTexturesOfSeveralModelsEndAsInAOneByOneRun) {
  test::TempDir dir;
  const std::vector<std::vector<uint8_t>> colours = {SmallBmp(255, 0, 0), SmallBmp(0, 255, 0), SmallBmp(0, 0, 255),
                                                     SmallBmp(9, 9, 9)};
  std::vector<std::string> models;
  for (size_t i = 0; i < colours.size(); ++i) {
    const fs::path folder = dir.Path() / ("src" + std::to_string(i));
    fs::create_directories(folder);
    test::WriteBytes(folder / "tex.bmp", colours[i]);
    test::WriteText(folder / "m.mtl", "newmtl skin\nmap_Kd tex.bmp\n");
    test::WriteText(folder / ("model" + std::to_string(i) + ".obj"),
                    "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nusemtl skin\nf 1/1 2/2 3/3\n");
    models.push_back((folder / ("model" + std::to_string(i) + ".obj")).string());
  }
  const fs::path alone = dir.Path() / "alone";
  fs::create_directories(alone);
  ASSERT_EQ(Cli("convert --to 3ds -o " + Quoted(alone.string()) + " " + Quoted(models.back())).status, 0);
  const std::vector<uint8_t> last_texture = test::ReadBytes(alone / "tex.bmp");
  ASSERT_FALSE(last_texture.empty());
  for (int jobs : {1, 4}) {
    for (int round = 0; round < 3; ++round) {
      const fs::path out = dir.Path() / ("out" + std::to_string(jobs) + "_" + std::to_string(round));
      fs::create_directories(out);
      const CliRun run = Cli("convert --to 3ds -j " + std::to_string(jobs) + " -o " + Quoted(out.string()) + Joined(models));
      ASSERT_EQ(run.status, 0) << run.out;
      EXPECT_TRUE(test::ReadBytes(out / "tex.bmp") == last_texture) << jobs;
      // Only the models and the one texture: no working folder left behind.
      EXPECT_EQ(TreeOf(out).size(), models.size() + 1) << jobs;
      size_t entries = 0;
      for ([[maybe_unused]] const auto& entry : fs::directory_iterator(out)) ++entries;
      EXPECT_EQ(entries, models.size() + 1) << jobs;
    }
  }
}

TEST(ParallelBatch, WorkerCountMustBePositiveAndVerboseLogsComeWithTheirFile) {
  test::TempDir dir;
  test::WriteText(dir.Path() / "a.txt", "first\n");
  test::WriteText(dir.Path() / "b.txt", "second\n");
  test::WriteText(dir.Path() / "c.txt", "third\n");
  for (const char* jobs : {"0", "-2", "two"}) {
    const CliRun refused = Cli(std::string("convert --to txt -o ") + Quoted(dir.File("")) + " -j " + jobs + " " +
                            Quoted(dir.File("a.txt")) + " 2>&1");
    EXPECT_EQ(refused.status, 2) << jobs;
    EXPECT_NE(refused.out.find("the number of workers must be 1 or more"), std::string::npos) << refused.out;
  }
  const fs::path out = dir.Path() / "out";
  fs::create_directories(out);
  const std::vector<std::string> files = {dir.File("a.txt"), dir.File("missing.txt"), dir.File("b.txt"),
                                          dir.File("c.txt")};
  const CliRun run = Cli("--log-mode 3 -v convert --to txt -j 3 -o " + Quoted(out.string()) + Joined(files) + " 2>&1");
  EXPECT_EQ(run.status, 1);
  // Each file's log lines come right before its own line.
  size_t at = 0;
  for (size_t k = 0; k < files.size(); ++k) {
    if (k != 1) {
      const size_t loading = run.out.find("--- Loading file [" + files[k] + "] ---", at);
      ASSERT_NE(loading, std::string::npos) << run.out;
      at = loading;
    }
    const size_t line = run.out.find("[" + std::to_string(k + 1) + "/4] " + files[k] + " -> ", at);
    ASSERT_NE(line, std::string::npos) << run.out;
    at = line;
  }
  EXPECT_EQ(test::ReadBytes(out / "c.txt"), (std::vector<uint8_t>{'t', 'h', 'i', 'r', 'd', '\n'}));
}

}  // namespace
}  // namespace zepcon
