// zepcon: the main window. The command line names a folder to open or a
// file to select; "/logheavy" logs everything; "/?" (or --help) lists the
// parameters in the log.
#include <QApplication>
#include <cstdio>
#include <string>

#include "core/options_file.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Zepcon"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/zepcon/zepcon.svg")));

  zepcon::ui::StartupArguments arguments;
  const std::string executable = zepcon::CurrentExecutablePath(argc > 0 ? argv[0] : "zepcon");
  arguments.settings_folder = zepcon::SettingsFolder(executable);
  const QStringList words = QApplication::arguments();
  for (qsizetype i = 1; i < words.size(); ++i) {
    if (!arguments.command_line.empty()) arguments.command_line += ' ';
    arguments.command_line += words[i].toStdString();
  }
  // On a terminal the help is wanted where it was asked for, too.
  if (arguments.command_line == "--help" || arguments.command_line == "/?")
    for (const char* line : zepcon::ui::HelpLines()) std::fputs(line, stdout);

  zepcon::ui::MainDialog window(arguments);
  window.show();
  return application.exec();
}
