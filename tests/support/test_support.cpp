#include "support/test_support.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

#include "core/log.h"

namespace zepcon::test {

std::filesystem::path CorpusDir() { return ZEPCON_CORPUS_DIR; }

const std::vector<CorpusEntry>& CorpusManifest() {
  static const std::vector<CorpusEntry> entries = [] {
    std::vector<CorpusEntry> rows;
    std::ifstream in(CorpusDir() / "MANIFEST.tsv");
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::vector<std::string> fields;
      std::stringstream stream(line);
      std::string field;
      while (std::getline(stream, field, '\t')) fields.push_back(field);
      if (fields.size() < 3) continue;
      CorpusEntry entry;
      entry.path = fields[0];
      entry.expected_type = std::atoi(fields[1].c_str());
      entry.expected_name = fields[2];
      entry.notes = fields.size() > 8 ? fields[8] : "";
      rows.push_back(entry);
    }
    return rows;
  }();
  return entries;
}

CorpusEntry IdentifiedAs(const CorpusEntry& entry) {
  CorpusEntry result = entry;
  const std::string& path = entry.path;
  if (entry.expected_type != 53 || path.size() < 4) return result;
  std::ifstream file(CorpusDir() / path, std::ios::binary);
  char signature[8] = {};
  if (file.read(signature, sizeof signature) && std::string(signature, 8) == "\x89PNG\r\n\x1A\n") {
    result.expected_type = 52;
    result.expected_name = "PNG picture";
    return result;
  }
  std::string extension = path.substr(path.size() - 4);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension != ".off") return result;
  std::ifstream in(CorpusDir() / path, std::ios::binary);
  std::string line;
  static const std::regex blank_or_comment("^[ \t\r]*(#.*)?$");
  static const std::regex keyword("^[ \t\r]*(ST)?C?N?4?n?OFF([^A-Za-z].*)?$");
  while (std::getline(in, line)) {
    if (std::regex_match(line, blank_or_comment)) continue;
    if (std::regex_match(line, keyword)) {
      result.expected_type = 18;
      result.expected_name = "Off text";
    }
    break;
  }
  return result;
}

std::vector<CorpusEntry> CorpusFiles(const std::string& prefix) {
  std::vector<CorpusEntry> out;
  for (const CorpusEntry& entry : CorpusManifest())
    if (entry.path.rfind(prefix, 0) == 0) out.push_back(entry);
  return out;
}

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  const char* base = std::getenv("ZEPCON_TEST_TMP");
  std::filesystem::path root = base ? base : std::filesystem::temp_directory_path();
  path_ = root / ("zepcon-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

LogCapture::LogCapture() {
  SetLogObserver([this](std::string_view text, int level) {
    text_.append(text);
    if (level == LOG_ERROR) errors_.append(text);
  });
}

LogCapture::~LogCapture() { SetLogObserver(nullptr); }

int RunCommand(const std::string& command, std::string* output) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
  const int status = pclose(pipe);
  if (output) *output = std::move(text);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveProgram(const std::string& name) {
  return RunCommand("command -v " + name + " >/dev/null 2>&1") == 0;
}

}  // namespace zepcon::test
