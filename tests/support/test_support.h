// Shared helpers of the tests: temporary folders, the real-file corpus,
// capturing the log.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zepcon::test {

// The corpus of real files beside the checkout.
std::filesystem::path CorpusDir();

struct CorpusEntry {
  std::string path;  // relative to CorpusDir()
  int expected_type;
  std::string expected_name;
  std::string notes;
};
// Every row of MANIFEST.tsv.
const std::vector<CorpusEntry>& CorpusManifest();
// Rows whose path starts with `prefix` (e.g. "pictures/bmp/").
std::vector<CorpusEntry> CorpusFiles(const std::string& prefix);
// The entry as identification sees it today: the manifest's type, except
// that a file named ".off" whose first line that is neither blank nor a "#"
// comment opens with an OFF keyword ([ST][C][N][4][n]OFF) is "Off text"
// (the manifest was written before that rule), and a file that opens with
// the PNG signature is "PNG picture" (a type added after the manifest).
CorpusEntry IdentifiedAs(const CorpusEntry& entry);

// A fresh empty folder for one test, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& Path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::filesystem::path& path, const std::string& text);

// Collects every log message (whatever the log mode) while it lives.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  const std::string& Text() const { return text_; }
  std::string ErrorText() const { return errors_; }
  bool Contains(const std::string& part) const { return text_.find(part) != std::string::npos; }
  void Clear() {
    text_.clear();
    errors_.clear();
  }

 private:
  std::string text_;
  std::string errors_;
};

// Runs a shell command, returns its exit status; its standard output is
// stored in `output` when given.
int RunCommand(const std::string& command, std::string* output = nullptr);
bool HaveProgram(const std::string& name);

}  // namespace zepcon::test
