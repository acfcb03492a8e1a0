#include "ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMimeData>
#include <QUrl>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "core/format_table.h"
#include "core/log.h"
#include "ui/dir_tree.h"
#include "ui_test_support.h"

namespace zepcon::test {
namespace {

const char* const kTriangleOff = "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";
const char* const kSquareOff = "OFF\n4 1 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n4 0 1 2 3\n";
const std::vector<uint8_t> kTinyPpm = {'P', '6', '\n', '2', ' ', '1', '\n', '2', '5', '5', '\n', 255, 0, 0, 0, 0, 255};

struct Row {
  std::string name, ext, type;
  QColor colour;
};

std::vector<Row> Rows(const QTreeWidget* list) {
  std::vector<Row> rows;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = list->topLevelItem(i);
    rows.push_back({item->text(0).toStdString(), item->text(1).toStdString(), item->text(2).toStdString(),
                    item->background(0).color()});
  }
  return rows;
}

std::vector<std::string> Names(const QTreeWidget* list) {
  std::vector<std::string> names;
  for (const Row& row : Rows(list)) names.push_back(row.name + (row.ext.empty() ? "" : "." + row.ext));
  return names;
}

void SelectRows(ui::MainDialog& window, const std::vector<std::string>& file_names) {
  QTreeWidget* list = window.FileList();
  list->clearSelection();
  for (const std::string& file_name : file_names) {
    bool found = false;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      QTreeWidgetItem* item = list->topLevelItem(i);
      const std::string ext = item->text(1).toStdString();
      if (item->text(0).toStdString() + (ext.empty() ? "" : "." + ext) == file_name) {
        item->setSelected(true);
        found = true;
      }
    }
    ASSERT_TRUE(found) << file_name;
  }
}

int DestinationPosition(const QComboBox* destinations, int type) {
  for (int i = 0; i < destinations->count(); ++i)
    if (destinations->itemData(i).toInt() == type) return i;
  return -1;
}

class MainWindowTest : public ::testing::Test {
 protected:
  WindowFixture fixture;

  void MakeMixedFolder() {
    WriteText(fixture.data.File("b.off"), kTriangleOff);
    WriteBytes(fixture.data.File("a.ppm"), kTinyPpm);
    WriteText(fixture.data.File("c.txt"), "plain words\n");
    WriteText(fixture.data.File("A.off"), kSquareOff);
    WriteBytes(fixture.data.File("zz.dat"), {0x01, 0xfe, 0x33, 0x00, 0x99});
    std::filesystem::create_directory(fixture.data.Path() / "sub.folder");
  }

  ui::MainDialog& OpenData() { return fixture.Open(fixture.data.Path().string()); }

  std::string ReadFile(const std::string& name) {
    const std::vector<uint8_t> bytes = ReadBytes(fixture.data.File(name));
    return std::string(bytes.begin(), bytes.end());
  }
};

TEST_F(MainWindowTest, ListsMixedFilesWithTintsAndTypesInEachSortMode) {
  MakeMixedFolder();
  const QColor off(207, 202, 253), ppm(248, 207, 206), txt(209, 244, 209), dat(255, 255, 251);
  const Row a_off{"A", "off", "Off text", off}, b_off{"b", "off", "Off text", off};
  const Row a_ppm{"a", "ppm", "Pixel map", ppm}, c_txt{"c", "txt", "Plain text", txt}, zz{"zz", "dat", "", dat};
  const struct {
    int sort_mode;
    std::vector<Row> expected;
  } cases[] = {
      {ui::SORT_BY_NAME, {a_off, a_ppm, b_off, c_txt, zz}},
      {ui::SORT_BY_EXTENSION, {zz, a_off, b_off, a_ppm, c_txt}},
  };
  for (const auto& c : cases) {
    WindowFixture run;
    run.options.sort_mode = c.sort_mode;
    for (const auto& entry : std::filesystem::directory_iterator(fixture.data.Path())) {
      if (entry.is_directory()) continue;
      std::filesystem::copy_file(entry.path(), run.data.Path() / entry.path().filename());
    }
    ui::MainDialog& window = run.Open(run.data.Path().string());
    const std::vector<Row> rows = Rows(window.FileList());
    ASSERT_EQ(rows.size(), c.expected.size()) << c.sort_mode;
    for (size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i].name, c.expected[i].name) << c.sort_mode << " row " << i;
      EXPECT_EQ(rows[i].ext, c.expected[i].ext) << c.sort_mode << " row " << i;
      EXPECT_EQ(rows[i].type, c.expected[i].type) << rows[i].name;
      EXPECT_EQ(rows[i].colour, c.expected[i].colour) << rows[i].name << "." << rows[i].ext;
    }
  }

  // Unsorted: the folder's own order; without recognition every row is white.
  fixture.options.sort_mode = ui::SORT_NONE;
  fixture.options.find_types_on_enter = 0;
  ui::MainDialog& window = OpenData();
  std::vector<std::string> folder_order;
  for (const auto& entry : std::filesystem::directory_iterator(fixture.data.Path()))
    if (!entry.is_directory()) folder_order.push_back(entry.path().filename().string());
  EXPECT_EQ(Names(window.FileList()), folder_order);
  for (const Row& row : Rows(window.FileList())) {
    EXPECT_EQ(row.colour, QColor(Qt::white)) << row.name;
    EXPECT_EQ(row.type, "") << row.name;
  }
}

TEST_F(MainWindowTest, ListingTakesFifteenFilesPerTick) {
  for (int i = 0; i < 40; ++i) WriteText(fixture.data.File("f" + std::to_string(100 + i) + ".txt"), "x\n");
  ui::StartupArguments arguments;
  SaveOptions(fixture.options, OptionsFilePath(fixture.settings.Path().string() + "/"));
  arguments.settings_folder = fixture.settings.Path().string() + "/";
  arguments.command_line = fixture.data.Path().string();
  arguments.mounts_text = "/dev/root / ext4 rw 0 0\n";
  ui::MainDialog window(arguments);
  const int expected[] = {15, 30, 40};
  for (int count : expected) {
    window.ListingTick();
    EXPECT_EQ(window.FileList()->topLevelItemCount(), count);
  }
  EXPECT_FALSE(window.ListingPending());
}

TEST_F(MainWindowTest, ModelSelectionOffersModelDestinationsInTableOrder) {
  MakeMixedFolder();
  ui::MainDialog& window = OpenData();
  SelectRows(window, {"b.off"});

  std::vector<int> offered;
  for (int i = 0; i < window.DestinationList()->count(); ++i) {
    const int type = window.DestinationList()->itemData(i).toInt();
    const FileTypeInfo* row = FileTypeRow(type);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(window.DestinationList()->itemText(i).toStdString(),
              std::string(row->name) + " (." + row->extension + ")");
    EXPECT_EQ(row->data_kind, static_cast<uint32_t>(KIND_MODEL));
    EXPECT_TRUE(row->can_save);
    offered.push_back(type);
  }
  EXPECT_TRUE(std::is_sorted(offered.begin(), offered.end()));
  EXPECT_NE(std::find(offered.begin(), offered.end(), TYPE_RAW), offered.end());
  EXPECT_NE(std::find(offered.begin(), offered.end(), TYPE_OFF), offered.end());
  EXPECT_EQ(std::find(offered.begin(), offered.end(), TYPE_TGA), offered.end());
  int savable_models = 0;
  for (int i = 0; i < kFileTypeCount; ++i)
    savable_models += FormatTable()[i].data_kind == KIND_MODEL && FormatTable()[i].can_save;
  EXPECT_EQ(static_cast<int>(offered.size()), savable_models);

  // The first destination is chosen and names the file.
  EXPECT_TRUE(window.ConvertButton()->isEnabled());
  EXPECT_EQ(window.DestinationNameEdit()->text().toStdString(),
            fixture.data.File(std::string("b.") + FileTypeRow(offered[0])->extension));
  EXPECT_EQ(window.FileList()->topLevelItem(2)->text(2).toStdString(), "Off text");
}

TEST_F(MainWindowTest, DestinationNameReplacesOnlyTheFileNamesExtension) {
  const std::filesystem::path folder = fixture.data.Path() / "v1.2";
  std::filesystem::create_directory(folder);
  WriteText(folder / "a.b.off", kTriangleOff);
  WriteText(folder / "plain", kTriangleOff);
  ui::MainDialog& window = fixture.Open(folder.string());
  SelectRows(window, {"a.b.off"});
  window.DestinationList()->setCurrentIndex(DestinationPosition(window.DestinationList(), TYPE_RAW));
  EXPECT_EQ(window.DestinationNameEdit()->text().toStdString(), (folder / "a.b.RAW").string());

  // A name without a dot is found on disk as it is and gets the extension.
  SelectRows(window, {"plain"});
  EXPECT_EQ(window.StatusLine()->text().toStdString(), "");
  EXPECT_EQ(window.DestinationNameEdit()->text().toStdString(), (folder / "plain.RAW").string());

  // Several files: names are formed per file.
  SelectRows(window, {"a.b.off", "plain"});
  EXPECT_EQ(window.DestinationNameEdit()->text().toStdString(), "");
  EXPECT_TRUE(window.ConvertButton()->isEnabled());
}

TEST_F(MainWindowTest, ConvertWritesTheFileAndListsIt) {
  MakeMixedFolder();
  ui::MainDialog& window = OpenData();
  SelectRows(window, {"b.off"});
  window.DestinationList()->setCurrentIndex(DestinationPosition(window.DestinationList(), TYPE_RAW));
  const int rows_before = window.FileList()->topLevelItemCount();
  QTest::mouseClick(window.ConvertButton(), Qt::LeftButton);

  EXPECT_EQ(window.StatusLine()->text().toStdString(), "Succesfully converted");
  EXPECT_TRUE(fixture.asked.errors.empty());
  EXPECT_NE(ReadFile("b.RAW").find("0.000000 1.000000 0.000000"), std::string::npos) << ReadFile("b.RAW");
  ASSERT_EQ(window.FileList()->topLevelItemCount(), rows_before + 1);
  const QTreeWidgetItem* added = window.FileList()->topLevelItem(rows_before);
  EXPECT_EQ(added->text(0).toStdString() + "." + added->text(1).toStdString(), "b.RAW");
  EXPECT_EQ(added->background(0).color(), QColor(Qt::white));

  // Converting again lists nothing twice.
  fixture.options.ask_on_overwrite = 0;
  window.Options().ask_on_overwrite = 0;
  SelectRows(window, {"b.off"});
  QTest::mouseClick(window.ConvertButton(), Qt::LeftButton);
  EXPECT_EQ(window.FileList()->topLevelItemCount(), rows_before + 1);
}

TEST_F(MainWindowTest, OverwriteIsAskedAndCancelLeavesTheFile) {
  MakeMixedFolder();
  WriteText(fixture.data.File("b.RAW"), "keep me\n");
  const struct {
    bool ask;
    bool answer;
    size_t questions;
    bool overwritten;
  } cases[] = {{true, false, 1, false}, {true, true, 1, true}, {false, false, 0, true}};
  for (const auto& c : cases) {
    WriteText(fixture.data.File("b.RAW"), "keep me\n");
    WindowFixture run;
    run.options.ask_on_overwrite = c.ask;
    run.asked.answer = c.answer;
    std::filesystem::copy_file(fixture.data.File("b.off"), run.data.File("b.off"));
    std::filesystem::copy_file(fixture.data.File("b.RAW"), run.data.File("b.RAW"));
    ui::MainDialog& window = run.Open(run.data.Path().string());
    SelectRows(window, {"b.off"});
    window.DestinationList()->setCurrentIndex(DestinationPosition(window.DestinationList(), TYPE_RAW));
    window.StatusLine()->setText("before");
    QTest::mouseClick(window.ConvertButton(), Qt::LeftButton);

    ASSERT_EQ(run.asked.questions.size(), c.questions);
    if (c.questions) {
      EXPECT_EQ(run.asked.questions[0].first.toStdString(),
                "Outfile [" + run.data.File("b.RAW") + "] already exists, overwrite ?");
      EXPECT_EQ(run.asked.questions[0].second.toStdString(), "Yes or No");
    }
    const std::vector<uint8_t> bytes = ReadBytes(run.data.File("b.RAW"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()) != "keep me\n", c.overwritten) << c.ask << c.answer;
    EXPECT_EQ(window.StatusLine()->text().toStdString(), c.overwritten ? "Succesfully converted" : "before");
  }
}

TEST_F(MainWindowTest, FailedConversionShowsTheStageAndLeavesNoFile) {
  // Recognised by its extension alone, refused by the loader.
  WriteBytes(fixture.data.File("broken.tga"), {0x00, 0x00, 0x7f});
  ui::MainDialog& window = OpenData();
  SelectRows(window, {"broken.tga"});
  window.DestinationList()->setCurrentIndex(DestinationPosition(window.DestinationList(), TYPE_BMP));
  QTest::mouseClick(window.ConvertButton(), Qt::LeftButton);

  ASSERT_EQ(fixture.asked.errors.size(), 1u);
  EXPECT_EQ(fixture.asked.errors[0].first.toStdString(), "Error loading data");
  EXPECT_EQ(fixture.asked.errors[0].second.toStdString(), "Error");
  EXPECT_EQ(window.StatusLine()->text().toStdString(), "File is corrupt or unknown version");
  EXPECT_FALSE(std::filesystem::exists(fixture.data.File("broken.BMP")));
  EXPECT_EQ(window.Converter().GetHeldKind(), static_cast<uint32_t>(KIND_UNKNOWN));
}

TEST_F(MainWindowTest, SelectionsThatCannotConvertDisableConvert) {
  MakeMixedFolder();
  ui::MainDialog& window = OpenData();
  const struct {
    std::vector<std::string> files;
    bool enabled;
    std::string status;
  } cases[] = {
      {{"b.off", "a.ppm"}, false, ""},
      {{"b.off", "zz.dat"}, false, ""},
      {{"zz.dat"}, false, "unknown filetype"},
      {{"b.off", "A.off"}, true, ""},
      {{"a.ppm"}, true, ""},
  };
  for (const auto& c : cases) {
    SelectRows(window, c.files);
    EXPECT_EQ(window.ConvertButton()->isEnabled(), c.enabled) << c.files[0] << " +" << c.files.size();
    EXPECT_EQ(window.DestinationList()->count() > 0, c.enabled) << c.files[0];
    EXPECT_EQ(window.StatusLine()->text().toStdString(), c.status) << c.files[0];
  }
}

TEST_F(MainWindowTest, SearchSelectsTheFirstNameWithThePrefix) {
  for (const char* name : {"alpha.txt", "mo.txt", "moon.txt", "Mox.txt", "zeta.txt"})
    WriteText(fixture.data.File(name), "x\n");
  fixture.options.sort_mode = ui::SORT_BY_NAME;
  ui::MainDialog& window = OpenData();
  const struct {
    std::string typed;
    std::string selected;
  } cases[] = {
      {"mo", "mo.txt"},      {"moo.3ds", "moon.txt"}, {"z", "zeta.txt"},
      {"a", "alpha.txt"},    {"Mo", "Mox.txt"},       {"nothing", "Mox.txt"},
  };
  for (const auto& c : cases) {
    window.SearchBox()->clear();
    QTest::keyClicks(window.SearchBox(), QString::fromStdString(c.typed));
    std::vector<std::string> selected;
    for (QTreeWidgetItem* item : window.FileList()->selectedItems())
      selected.push_back(item->text(0).toStdString() + "." + item->text(1).toStdString());
    ASSERT_EQ(selected.size(), 1u) << c.typed;
    EXPECT_EQ(selected[0], c.selected) << c.typed;
    // The search selects only: no destinations follow.
    EXPECT_EQ(window.DestinationList()->count(), 0) << c.typed;
  }
}

TEST_F(MainWindowTest, CommandLineFileIsSelectedAndListedAgainInItsPlace) {
  MakeMixedFolder();
  fixture.options.sort_mode = ui::SORT_BY_NAME;
  ui::MainDialog& window = fixture.Open(fixture.data.File("b.off"));
  EXPECT_EQ(window.CurrentFolder(), fixture.data.Path().string() + "/");
  const std::vector<std::string> names = Names(window.FileList());
  EXPECT_EQ(names, (std::vector<std::string>{"A.off", "a.ppm", "b.off", "c.txt", "zz.dat", "b.off"}));
  const QList<QTreeWidgetItem*> selected = window.FileList()->selectedItems();
  ASSERT_EQ(selected.size(), 1);
  EXPECT_EQ(window.FileList()->indexOfTopLevelItem(selected[0]), 5);
  EXPECT_TRUE(window.ConvertButton()->isEnabled());
}

TEST_F(MainWindowTest, CommandLineSwitchesAndTheLastFolder) {
  MakeMixedFolder();
  std::filesystem::create_directory(fixture.data.Path() / "last");
  WriteText(fixture.data.Path() / "last" / "only.txt", "x\n");
  const std::string last = (fixture.data.Path() / "last").string() + "/";
  std::snprintf(fixture.options.conversion.last_folder, sizeof fixture.options.conversion.last_folder, "%s",
                last.c_str());
  fixture.options.conversion.log_mode = 0;
  LogCapture log;
  ui::MainDialog& window = fixture.Open("/?");
  EXPECT_EQ(window.CurrentFolder(), last);
  EXPECT_EQ(Names(window.FileList()), std::vector<std::string>{"only.txt"});
  EXPECT_EQ(GetLogMode(), 0u);
  EXPECT_TRUE(log.Contains(" /logheavy - message logging heavy mode\n\nthats all. have fun.\n"));
  // Mode 3 was on while the help was written, so it reached the pane.
  EXPECT_TRUE(window.LogEdit()->toPlainText().contains("possible parameters:\n /? - help(this one)\n"));

  WindowFixture heavy;
  heavy.options.conversion.log_mode = 1;
  heavy.Open("/logheavy " + fixture.data.Path().string());
  EXPECT_EQ(GetLogMode(), 3u);
  EXPECT_EQ(heavy.window->CurrentFolder(), fixture.data.Path().string() + "/");
  heavy.window.reset();
  SetLogMode(1);
}

TEST_F(MainWindowTest, DetailsAndPreviewButtonsResizeAndAreRemembered) {
  fixture.options.details_shown = 0;
  fixture.options.preview_shown = 1;
  ui::MainDialog& window = OpenData();
  const QSize start = window.size();
  EXPECT_EQ(start.width(), 793);
  EXPECT_EQ(window.PreviewToggleButton()->text().toStdString(), "Hide preview <");
  EXPECT_FALSE(window.LogEdit()->isVisibleTo(&window));

  QTest::mouseClick(window.DetailsButton(), Qt::LeftButton);
  EXPECT_EQ(window.size().height(), start.height() + 190);
  EXPECT_TRUE(window.LogEdit()->isVisibleTo(&window));
  EXPECT_EQ(window.DetailsButton()->text().toStdString(), "^ Hide details");
  QTest::mouseClick(window.PreviewToggleButton(), Qt::LeftButton);
  EXPECT_EQ(window.size().width(), 493);
  EXPECT_EQ(window.PreviewToggleButton()->text().toStdString(), "Show preview >");
  EXPECT_FALSE(window.PreviewArea()->isVisibleTo(&window));
  EXPECT_LE(window.LogEdit()->geometry().right(), window.width());

  // Shut-down stores both states with the options.
  fixture.window.reset();
  OptionsRecord stored;
  ASSERT_EQ(LoadOptions(stored, OptionsFilePath(fixture.settings.Path().string() + "/")), 1);
  EXPECT_EQ(stored.details_shown, 1u);
  EXPECT_EQ(stored.preview_shown, 0u);
  EXPECT_EQ(std::string(stored.conversion.last_folder), fixture.data.Path().string() + "/");
}

TEST_F(MainWindowTest, PreviewOfAPictureShowsItsSize) {
  WriteBytes(fixture.data.File("a.ppm"), kTinyPpm);
  WriteText(fixture.data.File("b.off"), kTriangleOff);
  fixture.options.auto_preview = 1;
  ui::MainDialog& window = OpenData();
  SelectRows(window, {"a.ppm"});
  EXPECT_TRUE(window.StatusLine()->text().startsWith("2 x 1, ")) << window.StatusLine()->text().toStdString();
  EXPECT_EQ(window.Converter().GetHeldKind(), static_cast<uint32_t>(KIND_BITMAP));
  SelectRows(window, {"b.off"});
  EXPECT_EQ(window.StatusLine()->text().toStdString(), "p: 1, v: 3, o: 1 m: 1, t: 0");
}


TEST_F(MainWindowTest, FailedSaveShowsItsStageAndLeavesNoFile) {
  WriteText(fixture.data.File("b.off"), kTriangleOff);
  ui::MainDialog& window = OpenData();
  SelectRows(window, {"b.off"});
  window.DestinationList()->setCurrentIndex(DestinationPosition(window.DestinationList(), TYPE_RAW));
  const std::string unreachable = fixture.data.File("no-such-folder/b.RAW");
  window.DestinationNameEdit()->setText(QString::fromStdString(unreachable));
  QTest::mouseClick(window.ConvertButton(), Qt::LeftButton);
  ASSERT_EQ(fixture.asked.errors.size(), 1u);
  EXPECT_EQ(fixture.asked.errors[0].first.toStdString(), "Error saving data");
  EXPECT_EQ(window.StatusLine()->text().toStdString(), "Error saving");
  EXPECT_FALSE(std::filesystem::exists(unreachable));
  EXPECT_TRUE(window.ConvertButton()->isEnabled());  // ready for another try
}

TEST_F(MainWindowTest, BatchConversionShowsWhichFileAndStageRuns) {
  WriteText(fixture.data.File("a.off"), kTriangleOff);
  WriteText(fixture.data.File("b.off"), kSquareOff);
  ui::MainDialog& window = OpenData();
  SelectRows(window, {"a.off", "b.off"});
  window.DestinationList()->setCurrentIndex(DestinationPosition(window.DestinationList(), TYPE_RAW));
  // The pipeline logs inside every stage: the status line is read there.
  std::set<std::string> seen;
  SetLogObserver([&](std::string_view, int) { seen.insert(window.StatusLine()->text().toStdString()); });
  QTest::mouseClick(window.ConvertButton(), Qt::LeftButton);
  SetLogObserver(nullptr);
  for (const char* status : {"File 1 of 2: Loading data", "File 2 of 2: Loading data", "File 2 of 2: Saving data"})
    EXPECT_EQ(seen.count(status), 1u) << status;
  EXPECT_EQ(window.StatusLine()->text().toStdString(), "Succesfully converted");
  EXPECT_TRUE(std::filesystem::exists(fixture.data.File("a.RAW")));
  EXPECT_TRUE(std::filesystem::exists(fixture.data.File("b.RAW")));
  EXPECT_TRUE(fixture.asked.errors.empty());
}

TEST_F(MainWindowTest, DroppedFolderOpensLikeTheCommandLine) {
  MakeMixedFolder();
  const std::filesystem::path other = fixture.data.Path() / "sub.folder";
  WriteText(other / "dropped.txt", "x\n");
  ui::MainDialog& window = OpenData();
  QMimeData remote;
  remote.setUrls({QUrl("https://example.org/a.off")});
  EXPECT_FALSE(window.OpenDropped(remote));
  QMimeData mime;
  mime.setUrls({QUrl("https://example.org/b.off"),
                QUrl::fromLocalFile(QString::fromStdString((other / "dropped.txt").string()))});
  EXPECT_TRUE(window.OpenDropped(mime));
  fixture.FinishListing();
  EXPECT_EQ(window.CurrentFolder(), other.string() + "/");
  ASSERT_EQ(window.FileList()->selectedItems().size(), 1);
  EXPECT_EQ(window.FileList()->selectedItems()[0]->text(0).toStdString(), "dropped");
}

TEST_F(MainWindowTest, SeparatePreviewWindowAndItsStoredRectangle) {
  fixture.options.preview_shown = 1;
  ui::MainDialog& window = OpenData();
  EXPECT_EQ(window.width(), 793);
  window.RunOptionsSheet([](QDialog& sheet) {
    sheet.findChild<QCheckBox*>("previewSeparate")->setChecked(true);
    sheet.accept();
    return true;
  });
  EXPECT_EQ(window.width(), 493);
  EXPECT_TRUE(window.PreviewWindow()->isVisibleTo(&window));
  EXPECT_EQ(window.PreviewArea()->window(), window.PreviewWindow());
  QTest::mouseClick(window.PreviewToggleButton(), Qt::LeftButton);
  EXPECT_FALSE(window.PreviewWindow()->isVisibleTo(&window));
  EXPECT_EQ(window.width(), 493);

  window.PreviewWindow()->setGeometry(40, 50, 260, 270);
  fixture.window.reset();
  OptionsRecord stored;
  ASSERT_EQ(LoadOptions(stored, OptionsFilePath(fixture.settings.Path().string() + "/")), 1);
  EXPECT_EQ(stored.preview_separate, 1u);
  EXPECT_EQ(stored.preview_left, 40);
  EXPECT_EQ(stored.preview_top, 50);
  EXPECT_EQ(stored.preview_width, 260);
  EXPECT_EQ(stored.preview_height, 270);
}

}  // namespace
}  // namespace zepcon::test
