// The layers of the source tree, lowest first: core < model, picture <
// formats3d < core/pipeline < cli, ui. A file may include its own layer and
// the layers below it; model and formats3d see of the picture layer only the
// picture container. Nothing below the fronts includes a Qt header.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace zepcon {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPictureContainer = "picture/bitmap_data.h";

// The layer of a path relative to src/; empty when it is in none.
std::string LayerOf(const std::string& path) {
  if (path.rfind("core/pipeline/", 0) == 0) return "core/pipeline";
  const size_t slash = path.find('/');
  if (slash == std::string::npos) return "";
  const std::string top = path.substr(0, slash);
  for (const char* layer : {"core", "model", "picture", "formats3d", "cli", "ui"})
    if (top == layer) return top;
  return "";
}

// Why `from` may not include the src-relative file `to`; empty when allowed.
std::string Forbidden(const std::string& from, const std::string& to) {
  const std::string target = LayerOf(to);
  if (from == "cli" || from == "ui" || target == from) return "";
  const bool core = target == "core";
  bool allowed = false;
  if (from == "picture")
    allowed = core;
  else if (from == "model")
    allowed = core || to == kPictureContainer;
  else if (from == "formats3d")
    allowed = core || target == "model" || to == kPictureContainer;
  else if (from == "core/pipeline")
    allowed = target != "cli" && target != "ui";
  return allowed ? "" : "the " + from + " layer may not include " + (target.empty() ? "that file" : target + " files");
}

std::string Relative(const fs::path& path, const fs::path& root) {
  return path.lexically_normal().lexically_relative(root.lexically_normal()).generic_string();
}

// Where a quoted include leads: beside the including file first, then from
// src/ (as the compiler looks). Empty when it names no file of the tree and
// no layer folder (a header from outside).
std::string ResolveInclude(const fs::path& src, const fs::path& file, const std::string& name) {
  for (const fs::path& base : {file.parent_path(), src}) {
    const fs::path candidate = (base / name).lexically_normal();
    const std::string relative = Relative(candidate, src);
    if (relative.rfind("..", 0) != 0 && fs::exists(candidate)) return relative;
  }
  return LayerOf(name).empty() ? "" : name;
}

bool IsSourceFile(const fs::path& path) {
  const std::string extension = path.extension().string();
  for (const char* known : {".h", ".hpp", ".c", ".cc", ".cpp", ".inl"})
    if (extension == known) return true;
  return false;
}

// Every include that breaks the layering, as "file:line: what and why",
// files in name order.
std::vector<std::string> LayeringViolations(const fs::path& src) {
  static const std::regex quoted(R"(^\s*#\s*include\s*"([^"]+)\")");
  static const std::regex qt(R"(^\s*#\s*include\s*<(Qt[A-Za-z]*/[^>]*|Q[A-Z][A-Za-z]*)>)");
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(src))
    if (entry.is_regular_file() && IsSourceFile(entry.path())) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::vector<std::string> violations;
  for (const fs::path& file : files) {
    const std::string relative = Relative(file, src);
    const std::string layer = LayerOf(relative);
    const std::string where = "src/" + relative + ":";
    if (layer.empty()) {
      violations.push_back(where + "0: the folder is in no layer; add it to the layer table");
      continue;
    }
    std::ifstream in(file);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
      std::smatch match;
      if (std::regex_search(line, match, quoted)) {
        const std::string target = ResolveInclude(src, file, match[1].str());
        const std::string why = target.empty() ? "" : Forbidden(layer, target);
        if (!why.empty())
          violations.push_back(where + std::to_string(number) + ": includes \"" + match[1].str() + "\": " + why);
      } else if (layer != "cli" && layer != "ui" && std::regex_search(line, match, qt)) {
        violations.push_back(where + std::to_string(number) + ": includes <" + match[1].str() +
                             ">: only the fronts may use the UI toolkit");
      }
    }
  }
  return violations;
}

TEST(Layering, TheSourceTreeKeepsItsLayers) {
  const fs::path src = fs::path(ZEPCON_SOURCE_DIR) / "src";
  ASSERT_TRUE(fs::is_directory(src / "core")) << src;
  std::string report;
  for (const std::string& violation : LayeringViolations(src)) report += violation + "\n";
  EXPECT_EQ(report, "");
}

// The check itself, on a small tree with one offence per kind it must catch
// and the cases it must let through.
TEST(Layering, EachOffenceIsReportedWithItsFileAndLine) {
  struct File {
    const char* path;
    const char* text;
  };
  const File tree[] = {
      {"core/log.h", "#pragma once\n"},
      {"core/bad.cpp", "#include \"core/log.h\"\n#include \"core/pipeline/run.h\"\n"},
      {"core/qt.cpp", "#include <vector>\n#include <QWidget>\n# include <QtCore/QString>\n"},
      {"core/pipeline/run.h", "#include \"formats3d/obj.h\"\n#include \"picture/codecs.h\"\n#include <QDialog>\n"},
      {"core/pipeline/front.cpp", "  #  include \"cli/main.h\"\n"},
      {"model/model.cpp",
       "#include \"picture/bitmap_data.h\"\n#include \"picture/codecs.h\"\n#include \"model_local.h\"\n"},
      {"model/model_local.h", "#include \"../formats3d/obj.h\"\n"},
      {"picture/codecs.h", "#include \"model/model.h\"\n#include \"core/log.h\"\n#include \"jpeglib.h\"\n"},
      {"picture/bitmap_data.h", "#include \"core/log.h\"\n"},
      {"formats3d/obj.h",
       "#include \"model/model.h\"\n#include \"picture/bitmap_data.h\"\n#include \"core/pipeline/run.h\"\n"},
      {"cli/main.h", "#include \"core/pipeline/run.h\"\n#include \"ui/window.h\"\n#include <QApplication>\n"},
      {"ui/window.h", "#include <QtWidgets/QDialog>\n#include \"cli/main.h\"\n"},
      {"tools/extra.cpp", "int x;\n"},
  };
  test::TempDir dir;
  const fs::path src = dir.Path() / "src";
  for (const File& file : tree) {
    fs::create_directories((src / file.path).parent_path());
    test::WriteText(src / file.path, file.text);
  }
  const std::vector<std::string> expected = {
      "src/core/bad.cpp:2: includes \"core/pipeline/run.h\": the core layer may not include core/pipeline files",
      "src/core/pipeline/front.cpp:1: includes \"cli/main.h\": the core/pipeline layer may not include cli files",
      "src/core/pipeline/run.h:3: includes <QDialog>: only the fronts may use the UI toolkit",
      "src/core/qt.cpp:2: includes <QWidget>: only the fronts may use the UI toolkit",
      "src/core/qt.cpp:3: includes <QtCore/QString>: only the fronts may use the UI toolkit",
      "src/formats3d/obj.h:3: includes \"core/pipeline/run.h\": the formats3d layer may not include core/pipeline "
      "files",
      "src/model/model.cpp:2: includes \"picture/codecs.h\": the model layer may not include picture files",
      "src/model/model_local.h:1: includes \"../formats3d/obj.h\": the model layer may not include formats3d files",
      "src/picture/codecs.h:1: includes \"model/model.h\": the picture layer may not include model files",
      "src/tools/extra.cpp:0: the folder is in no layer; add it to the layer table",
  };
  EXPECT_EQ(LayeringViolations(src), expected);
}

}  // namespace
}  // namespace zepcon
