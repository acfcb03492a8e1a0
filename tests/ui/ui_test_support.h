// A main window on temporary folders: its options file in one, the files
// it lists in another; questions and error boxes answered by the test.
#pragma once

#include <QString>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/conversion_settings.h"
#include "core/options_file.h"
#include "support/test_support.h"
#include "ui/main_window.h"

namespace zepcon::test {

struct Asked {
  std::vector<std::pair<QString, QString>> questions;  // text, caption
  std::vector<std::pair<QString, QString>> errors;
  bool answer = true;
};

class WindowFixture {
 public:
  // The options the window starts with; defaults unless changed before Open().
  OptionsRecord options = DefaultOptions();
  TempDir settings;
  TempDir data;
  Asked asked;
  std::unique_ptr<ui::MainDialog> window;

  WindowFixture() { options.auto_preview = 0; }

  ui::MainDialog& Open(const std::string& command_line) {
    SaveOptions(options, OptionsFilePath(settings.Path().string() + "/"));
    ui::StartupArguments arguments;
    arguments.settings_folder = settings.Path().string() + "/";
    arguments.command_line = command_line;
    arguments.mounts_text = "/dev/root / ext4 rw 0 0\n";
    arguments.desktop = data.Path().string();
    ui::Prompter prompter;
    prompter.confirm = [this](const QString& text, const QString& caption) {
      asked.questions.emplace_back(text, caption);
      return asked.answer;
    };
    prompter.error = [this](const QString& text, const QString& caption) { asked.errors.emplace_back(text, caption); };
    arguments.prompter = prompter;
    window = std::make_unique<ui::MainDialog>(arguments);
    FinishListing();
    return *window;
  }

  void FinishListing() {
    for (int ticks = 0; window->ListingTick(); ++ticks) ASSERT_LT(ticks, 10000);
  }
};

}  // namespace zepcon::test
