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

PreviewPlaceholder::PreviewPlaceholder(QWidget* parent) : QWidget(parent) {
  setObjectName("previewPlaceholder");
  setAutoFillBackground(true);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, QColor(126, 126, 169));
  setPalette(colours);
}

void PreviewPlaceholder::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(QColor(60, 60, 90));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  painter.setPen(Qt::white);
  painter.drawText(rect(), Qt::AlignCenter, tr("Preview"));
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

  preview_area_ = new PreviewPlaceholder(this);
  preview_area_->setGeometry(kNarrowWidth + 2, 5, 291, 268);
  preview_button_ = button(QStringLiteral("Preview"), "previewButton");
  preview_button_->setGeometry(kNarrowWidth + 2, 278, 70, 26);
  connect(preview_button_, &QPushButton::clicked, this, &MainDialog::LoadPreview);
  anim_strip_ = new QFrame(this);
  anim_strip_->setObjectName("animationStrip");
  anim_strip_->setFrameShape(QFrame::Box);
  anim_strip_->setGeometry(kNarrowWidth + 77, 278, 138, 26);
  anim_strip_->hide();
  frames_label_ = new QLabel(QStringLiteral("Frames"), this);
  frames_label_->setGeometry(kNarrowWidth + 220, 278, 70, 26);
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
  separate_area_ = new PreviewPlaceholder(preview_window_);
  auto* separate_layout = new QVBoxLayout(preview_window_);
  separate_layout->setContentsMargins(0, 0, 0, 0);
  separate_layout->addWidget(separate_area_);
  preview_window_->hide();

  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, [this] { ListingTick(); });
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
  anim_strip_->hide();
  frames_label_->hide();
  convert_->setEnabled(destination_->currentIndex() >= 0);
}

bool MainDialog::ConvertOneFile(const FileReference& source, const FileReference& destination,
                                const QString& progress) {
  if (options_.ask_on_overwrite && IsReadableFile(destination.path)) {
    const QString question = QStringLiteral("Outfile [%1] already exists, overwrite ?").arg(Q(destination.path));
    if (!prompter_.confirm(question, QStringLiteral("Yes or No"))) return false;
  }
  const ConversionOutcome outcome = zepcon::ConvertOneFile(
      converter_, options_, source.path.c_str(), source.type, destination.path.c_str(), destination.type,
      [this, &progress](const char* stage) { SetStatus(progress + QString::fromLatin1(stage)); });
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
  if (kind == KIND_MODEL) {
    const ModelData& model = converter_.Model();
    SetStatus(QString::asprintf("p: %lu, v: %lu, o: %lu m: %lu, t: %lu",
                                static_cast<unsigned long>(model.polygons_count),
                                static_cast<unsigned long>(model.vertexs_count),
                                static_cast<unsigned long>(model.objects_count),
                                static_cast<unsigned long>(model.materials_count),
                                static_cast<unsigned long>(model.textures_count)));
    anim_strip_->setVisible(model.anim_frames_count > 0);
    frames_label_->setText(model.anim_frames_count > 0 ? QStringLiteral("Frames") : QStringLiteral("No anim"));
    frames_label_->setVisible(model.anim_frames_count > 0);
  } else if (kind == KIND_BITMAP) {
    const BitmapData& picture = converter_.Picture();
    SetStatus(QString::asprintf("%lu x %lu, %s", static_cast<unsigned long>(picture.SizeX()),
                                static_cast<unsigned long>(picture.SizeY()), picture.ModeName(picture.Mode())));
  }
  PreviewArea()->update();
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
  if (converter_.GetHeldKind() != KIND_UNKNOWN) converter_.DestroyData();
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
  SetLogPane(nullptr);
}

}  // namespace zepcon::ui
