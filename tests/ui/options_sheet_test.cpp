#include "ui/options_sheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <cstring>

#include "core/options_file.h"
#include "ui_test_support.h"

namespace zepcon::test {
namespace {

// Every field away from its default, so that a field the sheet loses shows.
OptionsRecord UnusualOptions() {
  OptionsRecord o = DefaultOptions();
  o.conversion.log_mode = 2;
  o.conversion.normals_time_limit = 12.5f;
  o.conversion.overwrite_textures = 0;
  o.conversion.alpha_zero_to_pink = 1;
  o.conversion.pink_to_alpha_zero = 0;
  o.conversion.alpha_activated = 0;
  o.conversion.smoothing_angle = 33.3f;
  o.conversion.lwo_luminosity = 12.25f;
  o.conversion.lwo_diffuse = 99.9f;
  o.conversion.save_weightmaps = 0;
  o.conversion.ff7_weapon = 4;
  o.conversion.ff7_field_anims = 0;
  o.conversion.ff7_load_poly_materials = 1;
  o.conversion.limit_materials_255 = 0;
  o.conversion.obj_one_object = 1;
  o.ask_on_overwrite = 0;
  o.details_shown = 1;
  o.preview_shown = 0;
  o.auto_preview = 0;
  o.find_types_on_enter = 0;
  o.preview_separate = 1;
  o.sort_mode = 2;
  o.backfaces_wireframe = 1;
  o.show_points = 1;
  o.animation_delay = 0.04f;
  o.background_3d = {1, 2, 3};
  o.viewing_mode = 1;
  o.show_outer_walls = 0;
  o.animation_stepping = -7.1f;
  o.background_picture = {250, 128, 7};
  return o;
}

template <typename Widget>
Widget* Find(QObject& sheet, const char* name) {
  Widget* widget = sheet.findChild<Widget*>(name);
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

class OptionsSheetTest : public ::testing::Test {
 protected:
  std::vector<QString> warnings;

  std::unique_ptr<ui::COptionsSheet> Sheet(const OptionsRecord& options) {
    auto sheet = std::make_unique<ui::COptionsSheet>(options);
    sheet->SetWarner([this](const QString& message) { warnings.push_back(message); });
    return sheet;
  }
};

TEST_F(OptionsSheetTest, PagesAndTheirOrder) {
  auto sheet = Sheet(DefaultOptions());
  EXPECT_EQ(sheet->windowTitle().toStdString(), "Zepcon options");
  const char* const titles[] = {"General", "3D general", "Bitmaps general", "LWO - lightwave",
                                "Final Fantasy 7", "3DS", "Wavefront (Obj)"};
  ASSERT_EQ(sheet->Tabs()->count(), 7);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(sheet->Tabs()->tabText(i).toStdString(), titles[i]);
  for (const char* hidden : {"showDetailsOnStart", "showPreviewOnStart", "normalsLimitCheck", "normalsLimit",
                             "weaponToShow"})
    EXPECT_FALSE(Find<QWidget>(*sheet, hidden)->isVisibleTo(sheet.get())) << hidden;
  EXPECT_EQ(Find<QComboBox>(*sheet, "loggingMood")->itemText(2).toStdString(), "All to screen, errors to file");
  EXPECT_EQ(Find<QComboBox>(*sheet, "weaponToShow")->count(), 18);
}

TEST_F(OptionsSheetTest, OkWithoutChangesKeepsEveryField) {
  for (const OptionsRecord& options : {DefaultOptions(), UnusualOptions()}) {
    auto sheet = Sheet(options);
    sheet->accept();
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_EQ(std::memcmp(&sheet->Record(), &options, sizeof options), 0) << DescribeOptions(sheet->Record());
  }
  EXPECT_TRUE(warnings.empty());
}

TEST_F(OptionsSheetTest, TheTwoValuesShownThroughACheckBox) {
  const struct {
    float normals, smoothing;
    float stored_normals, stored_smoothing;
  } cases[] = {
      {-0.5f, -0.5f, 0.0f, -0.5f},  // normals box off (not above 0), smoothing box on (above -1)
      {0.0f, -1.0f, 0.0f, -1.0f},
      {7.0f, -3.0f, 7.0f, -1.0f},
  };
  for (const auto& c : cases) {
    OptionsRecord options = DefaultOptions();
    options.conversion.normals_time_limit = c.normals;
    options.conversion.smoothing_angle = c.smoothing;
    auto sheet = Sheet(options);
    sheet->accept();
    EXPECT_EQ(sheet->Record().conversion.normals_time_limit, c.stored_normals) << c.normals;
    EXPECT_EQ(sheet->Record().conversion.smoothing_angle, c.stored_smoothing) << c.smoothing;
  }
}

TEST_F(OptionsSheetTest, SmoothingCheckBoxStartsFromTheUsualAngle) {
  OptionsRecord options = DefaultOptions();
  options.conversion.smoothing_angle = 45.0f;
  auto sheet = Sheet(options);
  sheet->Tabs()->setCurrentIndex(3);
  auto* check = Find<QCheckBox>(*sheet, "smoothingCheck");
  auto* edit = Find<QLineEdit>(*sheet, "smoothingAngle");
  EXPECT_TRUE(edit->isEnabled());
  QTest::mouseClick(check, Qt::LeftButton);
  EXPECT_FALSE(edit->isEnabled());
  EXPECT_EQ(edit->text().toStdString(), "-1");
  QTest::mouseClick(check, Qt::LeftButton);
  EXPECT_TRUE(edit->isEnabled());
  EXPECT_EQ(edit->text().toStdString(), "89.53");
  sheet->accept();
  EXPECT_EQ(sheet->Record().conversion.smoothing_angle, 89.53f);
}

TEST_F(OptionsSheetTest, RefusedNumbersKeepTheSheetOpenAndTheRecordUntouched) {
  const struct {
    const char* edit;
    int page;
    const char* text;
    const char* message;
  } cases[] = {
      {"animationDelay", 1, "10.5", "Please enter a number between 0 and 10."},
      {"animationDelay", 1, "soon", "Please enter a number."},
      {"animationStepping", 1, "", "Please enter a number."},
      {"luminosity", 3, "-1", "Please enter a number between 0 and 100."},
      {"diffuse", 3, "100.01", "Please enter a number between 0 and 100."},
  };
  for (const auto& c : cases) {
    warnings.clear();
    const OptionsRecord options = UnusualOptions();
    auto sheet = Sheet(options);
    Find<QCheckBox>(*sheet, "askOnOverwrite")->setChecked(true);
    sheet->Tabs()->setCurrentIndex(c.page);
    Find<QLineEdit>(*sheet, c.edit)->setText(c.text);
    // Leaving the page is refused too.
    sheet->Tabs()->setCurrentIndex(0);
    EXPECT_EQ(sheet->Tabs()->currentIndex(), c.page) << c.edit;
    sheet->accept();
    ASSERT_EQ(warnings.size(), 2u) << c.edit << " " << c.text;
    EXPECT_EQ(warnings[1].toStdString(), c.message);
    EXPECT_NE(sheet->result(), QDialog::Accepted);
    EXPECT_EQ(std::memcmp(&sheet->Record(), &options, sizeof options), 0) << c.edit;
  }
}

TEST_F(OptionsSheetTest, WindowSavesOnOkAndChangesNothingOnCancel) {
  WindowFixture fixture;
  fixture.options = UnusualOptions();
  ui::MainDialog& window = fixture.Open(fixture.data.Path().string());
  const std::string path = OptionsFilePath(fixture.settings.Path().string() + "/");
  const OptionsRecord before = window.Options();
  const std::vector<uint8_t> file_before = ReadBytes(path);

  window.RunOptionsSheet([](QDialog& sheet) {
    sheet.findChild<QCheckBox*>("askOnOverwrite")->setChecked(true);
    sheet.findChild<QComboBox*>("loggingMood")->setCurrentIndex(3);
    sheet.reject();
    return false;
  });
  EXPECT_EQ(std::memcmp(&window.Options(), &before, sizeof before), 0);
  EXPECT_EQ(ReadBytes(path), file_before);

  window.RunOptionsSheet([](QDialog& sheet) {
    sheet.findChild<QCheckBox*>("askOnOverwrite")->setChecked(true);
    sheet.findChild<QComboBox*>("loggingMood")->setCurrentIndex(3);
    sheet.accept();
    return sheet.result() == QDialog::Accepted;
  });
  EXPECT_EQ(window.Options().ask_on_overwrite, 1u);
  EXPECT_EQ(GetLogMode(), 3u);  // applied
  OptionsRecord saved;
  ASSERT_EQ(LoadOptions(saved, path), 1);
  EXPECT_EQ(std::memcmp(&saved, &window.Options(), sizeof saved), 0);
  SetLogMode(1);
}

TEST(OptionsNumbers, TextAndRanges) {
  const struct {
    float value;
    const char* text;
  } shown[] = {{0.04f, "0.04"}, {89.53f, "89.53"}, {-1.0f, "-1"}, {0.4f, "0.4"}, {3600.0f, "3600"}};
  for (const auto& c : shown) EXPECT_EQ(ui::FloatText(c.value).toStdString(), c.text);
  float value;
  EXPECT_EQ(ui::RangeRefusal(" 2.5 ", 0, 10, &value).toStdString(), "");
  EXPECT_EQ(value, 2.5f);
  EXPECT_EQ(ui::RangeRefusal("3601", -1, 3600, &value).toStdString(), "Please enter a number between -1 and 3600.");
  EXPECT_EQ(ui::RangeRefusal("1e99", 0, 10, &value).toStdString(), "Please enter a number.");
  EXPECT_EQ(ui::RangeRefusal("2,5", 0, 10, &value).toStdString(), "Please enter a number.");
}

}  // namespace
}  // namespace zepcon::test
