// The main window: folder tree, file list, destination choice, "Convert !",
// status line, log pane and the preview area (or a separate preview window).
// Everything runs on the window's thread, driven by its controls and one
// 50 ms timer.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/conversion_settings.h"
#include "core/log_pane.h"
#include "core/pipeline/file_converter.h"
#include "ui/file_list_rules.h"
#include "ui/gl_preview.h"
#include "ui/preview_navigation.h"
#include "ui/preview_strip.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace zepcon::ui {

class DirTreeCtrl;



// The log pane: the shared pane text shown in a read-only edit.
class EditLogPane : public LogPane {
 public:
  explicit EditLogPane(QPlainTextEdit* edit) : edit_(edit) {}
  void AppendText(std::string_view text) override;
  void Clear() override;

 private:
  void Show();
  QPlainTextEdit* edit_;
  TextLogPane text_;
};

// Questions and error messages to the user; tests answer them.
struct Prompter {
  // OK/Cancel question; true for OK.
  std::function<bool(const QString& text, const QString& caption)> confirm;
  // An error message with an OK button.
  std::function<void(const QString& text, const QString& caption)> error;
};

struct StartupArguments {
  std::string settings_folder;  // options and log file; ends in '/'
  std::string command_line;     // the arguments, joined by blanks
  std::string mounts_text;      // replaces /proc/mounts when not empty (tests)
  std::string desktop;          // replaces the desktop folder when not empty (tests)
  std::optional<Prompter> prompter;
};

// The help lines of "/?" and --help.
const std::vector<const char*>& HelpLines();

class MainDialog : public QDialog {
  Q_OBJECT

 public:
  explicit MainDialog(const StartupArguments& arguments, QWidget* parent = nullptr);
  ~MainDialog() override;

  // A folder to enter, or a file to select in its folder (command line,
  // dropped files).
  void OpenArgument(const std::string& argument);
  // Files or a folder dropped onto the window: the first local one is
  // opened as the command line would. False when none was local.
  bool OpenDropped(const QMimeData& dropped);
  // Lists up to 15 more files of the folder being entered; false once done.
  bool ListingTick();
  bool ListingPending() const { return listing_.has_value(); }

  OptionsRecord& Options() { return options_; }
  FileConverter& Converter() { return converter_; }
  const std::string& CurrentFolder() const { return current_folder_; }

  // Controls, for tests and the preview renderer.
  DirTreeCtrl* Tree() const { return tree_; }
  QTreeWidget* FileList() const { return list_; }
  QLineEdit* SearchBox() const { return search_; }
  QComboBox* DestinationList() const { return destination_; }
  QLineEdit* DestinationNameEdit() const { return destination_name_; }
  QPushButton* ConvertButton() const { return convert_; }
  QLabel* StatusLine() const { return status_; }
  QPushButton* DetailsButton() const { return details_button_; }
  QPushButton* OptionsButton() const { return options_button_; }
  QPushButton* AboutButton() const { return about_button_; }
  QPushButton* PreviewToggleButton() const { return preview_toggle_; }
  QPushButton* PreviewButton() const { return preview_button_; }
  QPlainTextEdit* LogEdit() const { return log_edit_; }
  GlPreview* PreviewArea() const { return placement_separate_ ? separate_area_ : preview_area_; }
  QDialog* PreviewWindow() const { return preview_window_; }
  // The animation strip and frame text of the window that holds the preview.
  PreviewStrip* AnimationStrip() const { return placement_separate_ ? separate_strip_ : anim_strip_; }
  QLabel* FrameLabel() const { return placement_separate_ ? separate_frames_ : frames_label_; }
  Playback& AnimationPlayback() { return playback_; }
  // Where the outer-wall pictures lie (ends in a separator).
  void SetWallFolder(const std::string& folder) { wall_folder_ = folder; }

  // One tick of the 50 ms timer: listing, animation, and every tenth tick
  // a redraw of the preview.
  void TimerTick();
  // A strip button (1 to 8) pressed.
  void StripClicked(int button);
  // The preview navigation (mouse over the preview, global positions).
  void PreviewPressed(Qt::MouseButton button, QPoint global);
  void PreviewReleased(Qt::MouseButton button);
  void PreviewMoved(QPoint global, bool shift);

  // Runs the options sheet; `run_sheet` replaces showing it modally (tests):
  // it gets the sheet and returns whether OK was pressed.
  void RunOptionsSheet(const std::function<bool(QDialog&)>& run_sheet = nullptr);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct FileReference {
    int type = 53;  // TYPE_UNKNOWN
    std::string path;
  };

  void BuildControls();
  void HandleCommandLine(const std::string& command_line);
  void EnterFolder(const QString& path);
  void InsertRow(int position, const NameAndExtension& file, const QColor& colour, const QString& type);
  void OnSelectionChanged(bool gained);
  void FillDestinationList(uint32_t kind);
  void OnDestinationChanged();
  void ConvertSelectedFiles();
  bool ConvertOneFile(const FileReference& source, const FileReference& destination, const QString& progress);
  void ShowConvertedFile(const std::string& destination_path);
  void LoadPreview();
  void ReleasePreview();
  void ShowFrameText();
  void SetUpPreviewHost(GlPreview* preview, PreviewStrip* strip);
  void Search(const QString& text);
  void ToggleDetails();
  void TogglePreview();
  void PlacePreview(bool separate);
  void ShowAbout();
  void SetStatus(const QString& text);
  void Shutdown();
  std::string RowPath(int row) const;
  std::vector<int> SelectedRows() const;
  int DetermineType(const std::string& path);
  void ClearDestinations();

  StartupArguments arguments_;
  Prompter prompter_;
  OptionsRecord options_{};
  FileConverter converter_;
  std::unique_ptr<EditLogPane> log_pane_;

  DirTreeCtrl* tree_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QLineEdit* search_ = nullptr;
  GlPreview* preview_area_ = nullptr;
  QPushButton* preview_button_ = nullptr;
  PreviewStrip* anim_strip_ = nullptr;
  QLabel* frames_label_ = nullptr;
  QComboBox* destination_ = nullptr;
  QLineEdit* destination_name_ = nullptr;
  QPushButton* convert_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* details_button_ = nullptr;
  QPushButton* options_button_ = nullptr;
  QPushButton* about_button_ = nullptr;
  QPushButton* preview_toggle_ = nullptr;
  QPlainTextEdit* log_edit_ = nullptr;
  QDialog* preview_window_ = nullptr;
  GlPreview* separate_area_ = nullptr;
  PreviewStrip* separate_strip_ = nullptr;
  QLabel* separate_frames_ = nullptr;
  QTimer* timer_ = nullptr;

  FileReference source_, destination_file_, current_;
  std::string current_folder_;
  std::string destination_base_;
  std::optional<std::filesystem::directory_iterator> listing_;
  size_t listed_count_ = 0;
  std::vector<NameAndExtension> rows_;  // the list's rows in order
  bool ignore_next_selection_ = false;
  int remembered_destination_ = 0;
  int destination_type_ = 53;
  bool placement_separate_ = false;
  int client_height_ = 0;
  bool shut_down_ = false;

  // Preview navigation and playback.
  Playback playback_;
  bool left_held_ = false, right_held_ = false;
  QPoint drag_origin_;
  int tick_count_ = 0;
  std::string wall_folder_;
};

}  // namespace zepcon::ui
