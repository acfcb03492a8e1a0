#include "ui/main_window.h"

#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QCursor>
#include <QHBoxLayout>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "core/format_table.h"
#include "core/log.h"
#include "core/options_file.h"
#include "core/pipeline/convert_one_file.h"
#include "model/model_data.h"
#include "picture/bitmap_data.h"
#include "ui/about_dialog.h"
#include "ui/dir_tree.h"
#include "ui/gl_preview.h"
#include "ui/preview_strip.h"
#include "ui/preview_walls.h"
#include "ui/options_sheet.h"

namespace zepcon::ui {
namespace {

// Window geometry in pixels. The preview column starts at kNarrowWidth.
constexpr int kWideWidth = 793;
constexpr int kNarrowWidth = 493;
constexpr int kBaseHeight = 412;
constexpr int kDetailsHeight = 190;
constexpr int kLogPaneHeight = 180;
constexpr int kListingBatch = 15;
// Entries read per tick at most, so that folders full of sub-folders do not
// stall one tick either.
constexpr int kListingEntriesPerTick = 200;

enum Column { kNameColumn = 0, kExtColumn = 1, kTypeColumn = 2 };

// Seconds on a clock that only goes forwards, for the playback delay.
double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The outer-wall pictures lie beside the program, or in share/zepcon of an
// installed one.
std::string DefaultWallFolder() {
  const std::string beside = QCoreApplication::applicationDirPath().toStdString() + "/";
  std::error_code error;
  if (std::filesystem::exists(beside + "cube.tga", error)) return beside;
  return beside + "../share/zepcon/";
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

QColor ToQColor(RowColour colour) { return QColor(colour.red, colour.green, colour.blue); }

bool IsReadableFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  std::fclose(file);
  return true;
}

Prompter MessageBoxPrompter(QWidget* parent) {
  Prompter prompter;
  prompter.confirm = [parent](const QString& text, const QString& caption) {
    return QMessageBox::question(parent, caption, text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) ==
           QMessageBox::Ok;
  };
  prompter.error = [parent](const QString& text, const QString& caption) {
    QMessageBox::critical(parent, caption, text, QMessageBox::Ok);
  };
  return prompter;
}

// The message box text for the stage a conversion failed in.
QString FailureMessage(const std::string& status) {
  if (status == "Error initializing data") return QStringLiteral("Error initializing data");
  if (status == "File is corrupt or unknown version") return QStringLiteral("Error loading data");
  return QStringLiteral("Error saving data");
}

}  // namespace

const std::vector<const char*>& HelpLines() {
  static const std::vector<const char*> lines = {
      "possible parameters:\n",
      " /? - help(this one)\n",
      " filename(with path) - as if you would click on that file\n",
      " path - moving to that path\n",
      " /logheavy - message logging heavy mode\n",
      "\nthats all. have fun.\n"};
  return lines;
}

void EditLogPane::AppendText(std::string_view text) {
  text_.AppendText(text);
  Show();
}

void EditLogPane::Clear() {
  text_.Clear();
  Show();
}

void EditLogPane::Show() {
  std::string shown;
  shown.reserve(text_.Text().size());
  for (char c : text_.Text())
    if (c != '\r') shown += c;
  edit_->setPlainText(QString::fromLocal8Bit(shown.data(), static_cast<qsizetype>(shown.size())));
  edit_->verticalScrollBar()->setValue(edit_->verticalScrollBar()->maximum());
}

MainDialog::MainDialog(const StartupArguments& arguments, QWidget* parent)
    : QDialog(parent), arguments_(arguments) {
  prompter_ = arguments.prompter ? *arguments.prompter : MessageBoxPrompter(this);
  setWindowIcon(QIcon(QStringLiteral(":/zepcon/zepcon.svg")));
  setAcceptDrops(true);
  BuildControls();

  // Options first: everything below reads them.
  LoadOptions(options_, OptionsFilePath(arguments_.settings_folder));
  ApplyOptions(options_);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    KeepPreviewWindowReachable(options_, screen->geometry().width(), screen->geometry().height());
  setWindowTitle(QStringLiteral("Zepcon"));
  search_->setText(QStringLiteral("search..."));
  SetLogFileName(LogFilePath(arguments_.settings_folder).c_str());

  QFont log_font(QStringLiteral("Courier"));
  log_font.setStyleHint(QFont::TypeWriter);
  if (!QFontInfo(log_font).fixedPitch()) log_font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  log_font.setPixelSize(12);
  log_edit_->setFont(log_font);
  log_pane_ = std::make_unique<EditLogPane>(log_edit_);
  SetLogPane(nullptr);
  SetLogPane(log_pane_.get());

  client_height_ = kBaseHeight;
  setFixedSize(kNarrowWidth, client_height_);
  if (options_.details_shown) {
    options_.details_shown = 0;
    ToggleDetails();
  }

  preview_window_->setGeometry(options_.preview_left, options_.preview_top, options_.preview_width,
                               options_.preview_height);
  placement_separate_ = options_.preview_separate != 0;
  options_.preview_shown = !options_.preview_shown;
  TogglePreview();

  tree_->Fill(arguments_.mounts_text, arguments_.desktop);
  LogMessage("Zepcon - 3D model and picture converter\n", LOG_MAJOR);
  HandleCommandLine(arguments_.command_line);
  timer_->start(50);
}

MainDialog::~MainDialog() { Shutdown(); }

void MainDialog::BuildControls() {
  const auto button = [this](const QString& text, const char* name) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setAutoDefault(false);  // Enter in an edit converts nothing by accident
    return b;
  };

  tree_ = new DirTreeCtrl(this);
  tree_->setGeometry(5, 5, 180, 300);
  connect(tree_, &DirTreeCtrl::FolderSelected, this, &MainDialog::EnterFolder);

  search_ = new QLineEdit(this);
  search_->setObjectName("searchBox");
  search_->setGeometry(190, 5, 298, 22);
  connect(search_, &QLineEdit::textChanged, this, &MainDialog::Search);

  list_ = new QTreeWidget(this);
  list_->setObjectName("fileList");
  list_->setGeometry(190, 30, 298, 275);
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setHeaderLabels({QStringLiteral("name"), QStringLiteral("ext"), QStringLiteral("type")});
  list_->setColumnWidth(kNameColumn, 115);
  list_->setColumnWidth(kExtColumn, 50);
  list_->setColumnWidth(kTypeColumn, 65);
  list_->header()->setStretchLastSection(true);
  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected, const QItemSelection&) { OnSelectionChanged(!selected.isEmpty()); });

  preview_area_ = new GlPreview(converter_, options_, this);
  preview_area_->setObjectName("preview");
  preview_area_->setGeometry(kNarrowWidth + 2, 5, 291, 268);
  preview_button_ = button(QStringLiteral("Preview"), "previewButton");
  preview_button_->setGeometry(kNarrowWidth + 2, 278, 70, 26);
  connect(preview_button_, &QPushButton::clicked, this, &MainDialog::LoadPreview);
  anim_strip_ = new PreviewStrip(this);
  anim_strip_->setGeometry(kNarrowWidth + 76, 280, 8 * 22, 22);
  anim_strip_->hide();
  frames_label_ = new QLabel(QStringLiteral("Frames"), this);
  frames_label_->setObjectName("frameText");
  frames_label_->setGeometry(kNarrowWidth + 2, 306, 291, 18);
  frames_label_->hide();

  destination_ = new QComboBox(this);
  destination_->setObjectName("destinationList");
  destination_->setGeometry(5, 312, 240, 26);
  connect(destination_, &QComboBox::currentIndexChanged, this, &MainDialog::OnDestinationChanged);
  destination_name_ = new QLineEdit(this);
  destination_name_->setObjectName("destinationName");
  destination_name_->setGeometry(250, 312, 238, 26);

  convert_ = button(QStringLiteral("Convert !"), "convertButton");
  convert_->setGeometry(5, 344, 100, 28);
  convert_->setEnabled(false);
  connect(convert_, &QPushButton::clicked, this, &MainDialog::ConvertSelectedFiles);
  status_ = new QLabel(this);
  status_->setObjectName("statusLine");
  status_->setGeometry(112, 344, 376, 28);
  status_->setFrameShape(QFrame::StyledPanel);

  details_button_ = button(QStringLiteral("v Show details"), "detailsButton");
  details_button_->setGeometry(5, 378, 110, 28);
  connect(details_button_, &QPushButton::clicked, this, &MainDialog::ToggleDetails);
  options_button_ = button(QStringLiteral("Options"), "optionsButton");
  options_button_->setGeometry(120, 378, 80, 28);
  connect(options_button_, &QPushButton::clicked, this, [this] { RunOptionsSheet(); });
  about_button_ = button(QStringLiteral("About"), "aboutButton");
  about_button_->setGeometry(205, 378, 80, 28);
  connect(about_button_, &QPushButton::clicked, this, &MainDialog::ShowAbout);
  preview_toggle_ = button(QStringLiteral("Show preview >"), "previewToggle");
  preview_toggle_->setGeometry(378, 378, 110, 28);
  connect(preview_toggle_, &QPushButton::clicked, this, &MainDialog::TogglePreview);

  log_edit_ = new QPlainTextEdit(this);
  log_edit_->setObjectName("logPane");
  log_edit_->setReadOnly(true);
  log_edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
  log_edit_->hide();

  preview_window_ = new QDialog(this, Qt::Window);
  preview_window_->setWindowTitle(QStringLiteral("Conv preview"));
  preview_window_->setSizeGripEnabled(true);
  separate_area_ = new GlPreview(converter_, options_, preview_window_);
  separate_area_->setObjectName("separatePreview");
  separate_strip_ = new PreviewStrip(preview_window_);
  separate_strip_->setFixedSize(8 * 22, 22);
  separate_strip_->hide();
  separate_frames_ = new QLabel(QStringLiteral("Frames"), preview_window_);
  separate_frames_->setObjectName("frameText");
  separate_frames_->hide();
  auto* separate_layout = new QVBoxLayout(preview_window_);
  separate_layout->setContentsMargins(0, 0, 0, 0);
  separate_layout->addWidget(separate_area_, 1);
  auto* strip_row = new QHBoxLayout;
  strip_row->setContentsMargins(4, 2, 4, 2);
  strip_row->addWidget(separate_strip_);
  strip_row->addWidget(separate_frames_, 1);
  separate_layout->addLayout(strip_row);
  preview_window_->hide();
  SetUpPreviewHost(preview_area_, anim_strip_);
  SetUpPreviewHost(separate_area_, separate_strip_);
  wall_folder_ = DefaultWallFolder();

  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &MainDialog::TimerTick);
}

void MainDialog::HandleCommandLine(const std::string& command_line) {
  std::istringstream words(command_line);
  std::string first;
  words >> first;
  // A switch is not a path: what follows it, if anything, is.
  const bool is_switch = first == "/logheavy" || first == "/?" || first == "--help";
  std::string argument = command_line;
  if (is_switch) {
    const size_t start = command_line.find(first) + first.size();
    argument = command_line.substr(start);
    const size_t text = argument.find_first_not_of(" \t\r\n");
    argument = text == std::string::npos ? std::string() : argument.substr(text);
  }
  while (!argument.empty() && std::strchr(" \t\r\n", argument.back())) argument.pop_back();
  if (argument.empty()) argument = options_.conversion.last_folder;
  OpenArgument(argument);

  if (first == "/logheavy") {
    SetLogMode(3);
  } else if (first == "/?" || first == "--help") {
    const uint32_t mode = GetLogMode();
    SetLogMode(3);
    for (const char* line : HelpLines()) LogMessage(line, LOG_MAJOR);
    SetLogMode(mode);
  }
}

void MainDialog::OpenArgument(const std::string& argument) {
  if (argument.empty()) return;
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(argument, error);
  if (error) return;
  path = path.lexically_normal();
  const std::string full = path.string();
  if (!IsReadableFile(full)) {
    tree_->SelectPath(full);
    return;
  }
  tree_->SelectPath(path.parent_path().string());
  const NameAndExtension wanted = SplitFileName(path.filename().string());
  int row = -1;
  for (int i = 0; i < static_cast<int>(rows_.size()) && row < 0; ++i)
    if (CompareNoCase(rows_[i].name, wanted.name) == 0 && CompareNoCase(rows_[i].extension, wanted.extension) == 0)
      row = i;
  if (row < 0) {
    row = 0;
    InsertRow(0, wanted, Qt::white, {});
  }
  QTreeWidgetItem* item = list_->topLevelItem(row);
  list_->clearSelection();
  list_->setCurrentItem(item);
  item->setSelected(true);
  list_->scrollToItem(item);
}

void MainDialog::EnterFolder(const QString& path) {
  std::string folder = path.isEmpty() ? std::string("/") : path.toStdString();
  if (folder.back() != '/' && folder.back() != '\\') folder += '/';
  // A folder longer than the record's field is not remembered rather than cut.
  if (folder.size() < sizeof options_.conversion.last_folder) {
    std::memset(options_.conversion.last_folder, 0, sizeof options_.conversion.last_folder);
    std::memcpy(options_.conversion.last_folder, folder.data(), folder.size());
  }
  current_folder_ = folder;

  list_->blockSignals(true);
  list_->clear();
  list_->blockSignals(false);
  rows_.clear();
  listed_count_ = 0;
  std::error_code error;
  listing_.emplace(folder, error);
  if (error) listing_.reset();
  ClearDestinations();
}

void MainDialog::ClearDestinations() {
  destination_->blockSignals(true);
  destination_->clear();
  destination_->blockSignals(false);
  destination_name_->clear();
  convert_->setEnabled(false);
}

void MainDialog::InsertRow(int position, const NameAndExtension& file, const QColor& colour, const QString& type) {
  auto* item = new QTreeWidgetItem(QStringList{Q(file.name), Q(file.extension), type});
  for (int column = 0; column < 3; ++column) {
    item->setBackground(column, colour);
    item->setForeground(column, Qt::black);
  }
  list_->insertTopLevelItem(position, item);
  rows_.insert(rows_.begin() + position, file);
}

int MainDialog::DetermineType(const std::string& path) {
  if (path.empty() || !IsReadableFile(path)) return TYPE_UNKNOWN;
  return converter_.DetermineTypeOfPath(path.c_str());
}

bool MainDialog::ListingTick() {
  if (!listing_) return false;
  std::filesystem::directory_iterator& it = *listing_;
  const std::filesystem::directory_iterator end;
  int listed = 0;
  std::error_code error;
  for (int read = 0; listed < kListingBatch && read < kListingEntriesPerTick && it != end; ++read) {
    const std::filesystem::directory_entry entry = *it;
    it.increment(error);
    if (error) {
      it = end;
    }
    std::error_code kind_error;
    if (entry.is_directory(kind_error)) continue;
    const NameAndExtension file = SplitFileName(entry.path().filename().string());
    const size_t position = ListingPosition(rows_, listed_count_, file, options_.sort_mode);
    QColor colour = Qt::white;
    QString type_name;
    if (options_.find_types_on_enter) {
      const int type = DetermineType(entry.path().string());
      const FileTypeInfo* row = FileTypeRow(type);
      if (row) type_name = QString::fromLatin1(row->name);
      colour = ToQColor(ColourForRow(file.extension, row ? row->data_kind : KIND_UNKNOWN));
    }
    InsertRow(static_cast<int>(position), file, colour, type_name);
    ++listed_count_;
    ++listed;
  }
  if (it == end) listing_.reset();
  return listing_.has_value();
}

std::string MainDialog::RowPath(int row) const {
  const NameAndExtension& file = rows_[row];
  // A name without an extension is the whole file name here.
  return current_folder_ + file.name + (file.extension.empty() ? "" : "." + file.extension);
}

std::vector<int> MainDialog::SelectedRows() const {
  std::vector<int> rows;
  for (int i = 0; i < list_->topLevelItemCount(); ++i)
    if (list_->topLevelItem(i)->isSelected()) rows.push_back(i);
  return rows;
}

void MainDialog::OnSelectionChanged(bool gained) {
  if (!gained) return;
  if (ignore_next_selection_) {
    ignore_next_selection_ = false;
    return;
  }
  SetStatus({});
  const std::vector<int> selected = SelectedRows();
  if (selected.empty()) return;
  ClearDestinations();

  if (selected.size() == 1) {
    const int row = selected[0];
    current_.path = RowPath(row);
    current_.type = DetermineType(current_.path);
    source_ = current_;
    const FileTypeInfo* info = FileTypeRow(current_.type);
    if (!info || !info->can_load) {
      SetStatus(QStringLiteral("unknown filetype"));
      return;
    }
    list_->topLevelItem(row)->setText(kTypeColumn, QString::fromLatin1(info->name));
    if (options_.auto_preview) LoadPreview();
    FillDestinationList(info->data_kind);
    destination_base_ = current_.path;
    OnDestinationChanged();
    return;
  }

  uint32_t kind = KIND_UNKNOWN;
  for (int row : selected) {
    const FileTypeInfo* info = FileTypeRow(DetermineType(RowPath(row)));
    if (!info || !info->can_load || (kind != KIND_UNKNOWN && info->data_kind != kind)) return;
    kind = info->data_kind;
  }
  FillDestinationList(kind);
  OnDestinationChanged();
}

void MainDialog::FillDestinationList(uint32_t kind) {
  destination_->blockSignals(true);
  destination_->clear();
  for (int i = 0; i < kFileTypeCount; ++i) {
    const FileTypeInfo& row = FormatTable()[i];
    if (row.data_kind != kind || !row.can_save) continue;
    destination_->addItem(QStringLiteral("%1 (.%2)").arg(QString::fromLatin1(row.name), QString::fromLatin1(row.extension)),
                          i);
  }
  destination_->setCurrentIndex(remembered_destination_ < destination_->count() ? remembered_destination_ : -1);
  destination_->blockSignals(false);
}

void MainDialog::OnDestinationChanged() {
  const int index = destination_->currentIndex();
  if (index < 0) {
    convert_->setEnabled(false);
    destination_name_->clear();
    return;
  }
  destination_type_ = destination_->itemData(index).toInt();
  remembered_destination_ = index;
  const FileTypeInfo* row = FileTypeRow(destination_type_);
  if (SelectedRows().size() == 1 && row)
    destination_name_->setText(Q(DestinationName(destination_base_, row->extension)));
  else
    destination_name_->clear();
  convert_->setEnabled(true);
}

void MainDialog::ConvertSelectedFiles() {
  const std::vector<int> selected = SelectedRows();
  if (selected.empty() || !convert_->isEnabled()) return;
  const FileTypeInfo* destination_row = FileTypeRow(destination_type_);
  if (!destination_row) return;
  convert_->setEnabled(false);  // no second run while this one repaints

  if (selected.size() == 1) {
    destination_file_ = {destination_type_, destination_name_->text().toStdString()};
    if (ConvertOneFile(current_, destination_file_, {})) ShowConvertedFile(destination_file_.path);
  } else {
    // The rows may change while the window repaints (a converted file is
    // appended); the names are taken up front.
    std::vector<NameAndExtension> files;
    for (int row : selected) files.push_back(rows_[row]);
    const int count = static_cast<int>(files.size());
    for (int k = 0; k < count; ++k) {
      const NameAndExtension& file = files[k];
      source_.path = current_folder_ + file.name + (file.extension.empty() ? "" : "." + file.extension);
      source_.type = DetermineType(source_.path);
      destination_file_ = {destination_type_, current_folder_ + file.name + "." + destination_row->extension};
      const QString progress = QStringLiteral("File %1 of %2: ").arg(k + 1).arg(count);
      if (ConvertOneFile(source_, destination_file_, progress)) ShowConvertedFile(destination_file_.path);
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
  }
  PreviewArea()->update();
  AnimationStrip()->hide();
  FrameLabel()->hide();
  convert_->setEnabled(destination_->currentIndex() >= 0);
}

bool MainDialog::ConvertOneFile(const FileReference& source, const FileReference& destination,
                                const QString& progress) {
  if (options_.ask_on_overwrite && IsReadableFile(destination.path)) {
    const QString question = QStringLiteral("Outfile [%1] already exists, overwrite ?").arg(Q(destination.path));
    if (!prompter_.confirm(question, QStringLiteral("Yes or No"))) return false;
  }
  ReleasePreview();
  const bool is_model = converter_.GetDataKind(source.type) == KIND_MODEL;
  const float shown_frame = playback_.frame;
  const ConversionOutcome outcome = zepcon::ConvertOneFile(
      converter_, options_, source.path.c_str(), source.type, destination.path.c_str(), destination.type,
      [&](const char* stage) {
        // The model is fixed once saving begins: formats that keep one
        // frame keep the one the preview shows.
        if (is_model && std::strcmp(stage, "Saving data") == 0 && converter_.GetHeldKind() == KIND_MODEL &&
            converter_.Model().anim_frames_count > 0)
          converter_.Model().current_frame = shown_frame;
        SetStatus(progress + QString::fromLatin1(stage));
      });
  SetStatus(Q(outcome.status));
  if (!outcome.ok) prompter_.error(FailureMessage(outcome.status), QStringLiteral("Error"));
  return outcome.ok;
}

void MainDialog::ShowConvertedFile(const std::string& destination_path) {
  const size_t separator = destination_path.find_last_of('/');
  const size_t split = separator == std::string::npos ? destination_path.find_last_of('\\') : separator;
  if (split == std::string::npos) return;
  if (destination_path.substr(0, split + 1) != current_folder_) return;
  const NameAndExtension file = SplitFileName(destination_path.substr(split + 1));
  for (const NameAndExtension& row : rows_)
    if (CompareNoCase(row.name, file.name) == 0 && CompareNoCase(row.extension, file.extension) == 0) return;
  InsertRow(static_cast<int>(rows_.size()), file, Qt::white, {});
}

void MainDialog::LoadPreview() {
  if (!options_.preview_shown) return;
  SetStatus({});
  converter_.SetOptions(&options_);
  if (source_.path.empty()) return;
  FILE* file = std::fopen(source_.path.c_str(), "rb");
  if (!file) {
    SetStatus(QStringLiteral("could not open file"));
    return;
  }
  const int type = converter_.DetermineType(file, source_.path.c_str());
  std::fclose(file);

  SetStatus(QStringLiteral("Deinitializing data"));
  ReleasePreview();
  if (converter_.GetHeldKind() != KIND_UNKNOWN && !converter_.DestroyData())
    SetStatus(QStringLiteral("Error purging old data"));
  SetStatus(QStringLiteral("Initializing data"));
  const uint32_t kind = converter_.GetDataKind(type);
  if (!converter_.InitData(kind)) {
    SetStatus(QStringLiteral("Error initializing memory"));
    return;
  }

  SetStatus(QStringLiteral("Loading file"));
  if (!converter_.LoadFile(source_.path.c_str(), type)) {
    converter_.DestroyData();
    SetStatus(QStringLiteral("could not load"));
    return;
  }
  SetStatus(QStringLiteral("Fixing data"));
  converter_.FixData();
  SetStatus(QStringLiteral("Setting up preview"));
  GlPreview* preview = PreviewArea();
  if (kind == KIND_MODEL) {
    ModelData& model = converter_.Model();
    const uint32_t polygons = model.polygons_count, vertexs = model.vertexs_count, objects = model.objects_count,
                   materials = model.materials_count, textures = model.textures_count;
    model.CalculateBoundingBox();
    if (options_.show_outer_walls) AddOuterWalls(model, 0, wall_folder_);
    model.ConvertModelOrientation(4, 2, 1);
    converter_.FixData();
    model.TriangulatePolygons();

    std::vector<AnimSegment> segments;
    for (uint32_t i = 0; i < model.animation_segments_count; ++i) {
      if (!model.Animation_GetSegmentInfo(static_cast<int32_t>(i))) break;
      const ModelData::AnimationSegment& info = model.animation_segment;
      segments.push_back({std::string(info.name, strnlen(info.name, sizeof info.name)), info.first_frame,
                          info.frames});
    }
    ResetPlayback(playback_, model.anim_frames_count, std::move(segments), SteadySeconds());
    const bool animated = playback_.state != kAnimNone;
    FrameLabel()->setText(animated ? Q(FrameText(playback_)) : QStringLiteral("No anim"));
    AnimationStrip()->setVisible(animated);
    FrameLabel()->setVisible(animated);
    preview->SetFrame(playback_.frame, animated);
    preview->Gl3dInit();
    preview->DrawModel();
    SetStatus(QString::asprintf("p: %lu, v: %lu, o: %lu m: %lu, t: %lu", static_cast<unsigned long>(polygons),
                                static_cast<unsigned long>(vertexs), static_cast<unsigned long>(objects),
                                static_cast<unsigned long>(materials), static_cast<unsigned long>(textures)));
  } else if (kind == KIND_BITMAP) {
    ResetPlayback(playback_, 0, {}, SteadySeconds());
    AnimationStrip()->hide();
    FrameLabel()->hide();
    const BitmapData& picture = converter_.Picture();
    const QString size = QString::asprintf("%lu x %lu, %s", static_cast<unsigned long>(picture.SizeX()),
                                           static_cast<unsigned long>(picture.SizeY()),
                                           picture.ModeName(picture.Mode()));
    preview->UploadPicture();
    preview->DrawPicture();
    SetStatus(size);
  }
}

void MainDialog::ReleasePreview() {
  for (GlPreview* preview : {preview_area_, separate_area_}) {
    if (preview->ModelReady()) preview->ReleaseModelTextures();
    if (preview->PictureReady()) preview->ReleasePicture();
  }
}

void MainDialog::SetUpPreviewHost(GlPreview* preview, PreviewStrip* strip) {
  preview->SetMouseHooks({[this](Qt::MouseButton button, QPoint global) { PreviewPressed(button, global); },
                          [this](Qt::MouseButton button) { PreviewReleased(button); },
                          [this](QPoint global, bool shift) { PreviewMoved(global, shift); }});
  strip->SetClickHandler([this](int button) { StripClicked(button); });
}

void MainDialog::TimerTick() {
  ListingTick();
  GlPreview* preview = PreviewArea();
  if (converter_.GetHeldKind() == KIND_MODEL && preview->ModelReady() &&
      AnimationStep(playback_, options_.animation_stepping, options_.animation_delay, SteadySeconds())) {
    preview->SetFrame(playback_.frame, true);
    ShowFrameText();
    preview->Redraw();
  }
  if (++tick_count_ >= 10) {
    tick_count_ = 0;
    preview->Redraw();
  }
}

void MainDialog::ShowFrameText() { FrameLabel()->setText(Q(FrameText(playback_))); }

void MainDialog::StripClicked(int button) {
  // Without an animation the strip does nothing (it is hidden then anyway).
  if (playback_.state == kAnimNone) return;
  const int state = StripButtonState(button);
  if (state != kAnimNone) playback_.state = state;
}

void MainDialog::PreviewPressed(Qt::MouseButton button, QPoint global) {
  if (button == Qt::LeftButton) left_held_ = true;
  if (button == Qt::RightButton) right_held_ = true;
  drag_origin_ = global;
}

void MainDialog::PreviewReleased(Qt::MouseButton button) {
  if (button == Qt::LeftButton) left_held_ = false;
  if (button == Qt::RightButton) right_held_ = false;
}

void MainDialog::PreviewMoved(QPoint global, bool shift) {
  if (!left_held_ && !right_held_) return;
  GlPreview* preview = PreviewArea();
  MoveInput input;
  input.mode = options_.viewing_mode;
  input.model = converter_.GetHeldKind() == KIND_MODEL && preview->ModelReady();
  input.picture = converter_.GetHeldKind() == KIND_BITMAP && preview->PictureReady();
  input.left = left_held_;
  input.right = right_held_;
  input.shift = shift;
  input.dx = global.x() - drag_origin_.x();
  input.dy = global.y() - drag_origin_.y();
  input.half_x = preview->HalfX();
  input.half_y = preview->HalfY();
  if (input.dx == 0 && input.dy == 0) return;  // the cursor put back
  // The cursor stays where the drag began, so every move is relative.
  QCursor::setPos(drag_origin_);
  const MoveResult result = NavigateMove(preview->View(), input);
  if (!result.status.empty()) SetStatus(Q(result.status));
  if (result.changed) preview->Redraw();
}

void MainDialog::Search(const QString& text) {
  const int count = list_->topLevelItemCount();
  if (count == 0) return;
  const QString prefix = text.section(QLatin1Char('.'), 0, 0);
  const std::vector<int> selected = SelectedRows();
  const int start = selected.empty() ? 0 : selected[0];
  for (int i = 0; i < count; ++i) {
    const int row = (start + i) % count;
    if (!list_->topLevelItem(row)->text(kNameColumn).startsWith(prefix, Qt::CaseSensitive)) continue;
    if (row == start) return;
    ignore_next_selection_ = true;
    list_->clearSelection();
    QTreeWidgetItem* item = list_->topLevelItem(row);
    item->setSelected(true);
    list_->scrollToItem(item);
    // A selection that did not change leaves no notification to swallow.
    ignore_next_selection_ = false;
    return;
  }
}

void MainDialog::ToggleDetails() {
  options_.details_shown = !options_.details_shown;
  client_height_ = options_.details_shown ? kBaseHeight + kDetailsHeight : kBaseHeight;
  setFixedSize(width(), client_height_);
  if (options_.details_shown) {
    log_edit_->setGeometry(5, client_height_ - kLogPaneHeight - 5, width() - 10, kLogPaneHeight);
    log_edit_->show();
    details_button_->setText(QStringLiteral("^ Hide details"));
  } else {
    log_edit_->hide();
    details_button_->setText(QStringLiteral("v Show details"));
  }
}

void MainDialog::TogglePreview() {
  options_.preview_shown = !options_.preview_shown;
  const bool shown = options_.preview_shown != 0;
  preview_toggle_->setText(shown ? QStringLiteral("Hide preview <") : QStringLiteral("Show preview >"));
  if (placement_separate_) {
    preview_window_->setVisible(shown);
    preview_area_->hide();
    preview_button_->setVisible(false);
    setFixedSize(kNarrowWidth, client_height_);
  } else {
    preview_area_->setVisible(shown);
    preview_button_->setVisible(shown);
    setFixedSize(shown ? kWideWidth : kNarrowWidth, client_height_);
  }
  if (options_.details_shown)
    log_edit_->setGeometry(5, client_height_ - kLogPaneHeight - 5, width() - 10, kLogPaneHeight);
}

void MainDialog::PlacePreview(bool separate) {
  const bool was_shown = options_.preview_shown != 0;
  if (was_shown) TogglePreview();  // hidden where it was
  ReleasePreview();
  if (converter_.GetHeldKind() != KIND_UNKNOWN) converter_.DestroyData();
  AnimationStrip()->hide();
  FrameLabel()->hide();
  placement_separate_ = separate;
  if (was_shown) TogglePreview();  // shown where it goes
}

void MainDialog::RunOptionsSheet(const std::function<bool(QDialog&)>& run_sheet) {
  const bool was_separate = options_.preview_separate != 0;
  COptionsSheet sheet(options_, this);
  const bool accepted = run_sheet ? run_sheet(sheet) : sheet.exec() == QDialog::Accepted;
  if (!accepted) return;
  options_ = sheet.Record();
  SaveOptions(options_, OptionsFilePath(arguments_.settings_folder));
  ApplyOptions(options_);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    KeepPreviewWindowReachable(options_, screen->geometry().width(), screen->geometry().height());
  const QString help = QString::fromLatin1(options_.viewing_mode == kFlyThrough ? kFlyThroughHelp : kRotateZoomHelp);
  preview_area_->setToolTip(help);
  separate_area_->setToolTip(help);
  if ((options_.preview_separate != 0) != was_separate) PlacePreview(options_.preview_separate != 0);
}

void MainDialog::ShowAbout() {
  AboutDialog about(this);
  about.exec();
}

void MainDialog::SetStatus(const QString& text) {
  status_->setText(text);
  status_->repaint();  // each stage shows while it runs
}

void MainDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainDialog::dropEvent(QDropEvent* event) {
  if (OpenDropped(*event->mimeData())) event->acceptProposedAction();
}

bool MainDialog::OpenDropped(const QMimeData& dropped) {
  for (const QUrl& url : dropped.urls()) {
    if (!url.isLocalFile()) continue;
    OpenArgument(url.toLocalFile().toStdString());
    return true;
  }
  return false;
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
  // Escape would close the whole program like a dialog; it is not a way out here.
  if (event->key() == Qt::Key_Escape) return;
  QDialog::keyPressEvent(event);
}

void MainDialog::Shutdown() {
  if (shut_down_) return;
  shut_down_ = true;
  timer_->stop();
  if (converter_.GetHeldKind() != KIND_UNKNOWN) converter_.DestroyData();
  const QRect rectangle = preview_window_->geometry();
  options_.preview_left = rectangle.left();
  options_.preview_top = rectangle.top();
  options_.preview_width = rectangle.width();
  options_.preview_height = rectangle.height();
  SaveOptions(options_, OptionsFilePath(arguments_.settings_folder));
  ReleasePreview();
  SetLogPane(nullptr);
}

}  // namespace zepcon::ui
