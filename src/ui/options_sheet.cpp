#include "ui/options_sheet.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

namespace zepcon::ui {

QString FloatText(float value) {
  for (int precision = 6; precision < 10; ++precision) {
    const QString text = QString::number(static_cast<double>(value), 'g', precision);
    if (text.toFloat() == value) return text;
  }
  return QString::number(static_cast<double>(value), 'g', 9);
}

bool ParseFloat(const QString& text, float* value) {
  bool ok = false;
  const float parsed = text.trimmed().toFloat(&ok);
  if (!ok || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

QString RangeRefusal(const QString& text, float minimum, float maximum, float* value) {
  if (!ParseFloat(text, value)) return QStringLiteral("Please enter a number.");
  if (*value < minimum || *value > maximum)
    return QStringLiteral("Please enter a number between %1 and %2.")
        .arg(QString::number(static_cast<double>(minimum), 'g', 6),
             QString::number(static_cast<double>(maximum), 'g', 6));
  return {};
}

namespace {

constexpr float kNoRange = std::numeric_limits<float>::max();

uint32_t Bit(const QCheckBox* box) { return box->isChecked() ? 1 : 0; }

QCheckBox* AddCheck(QWidget* page, QLayout* layout, const char* name, const QString& text) {
  auto* box = new QCheckBox(text, page);
  box->setObjectName(name);
  layout->addWidget(box);
  return box;
}

QLineEdit* MakeEdit(QWidget* page, const char* name) {
  auto* edit = new QLineEdit(page);
  edit->setObjectName(name);
  edit->setMaximumWidth(90);
  return edit;
}

// Checks one edit; on refusal it takes the focus.
bool CheckEdit(QLineEdit* edit, float minimum, float maximum, QString* message) {
  float value;
  *message = RangeRefusal(edit->text(), minimum, maximum, &value);
  if (message->isEmpty()) return true;
  edit->setFocus();
  edit->selectAll();
  return false;
}

float EditValue(const QLineEdit* edit) {
  float value = 0.0f;
  ParseFloat(edit->text(), &value);
  return value;
}

// A "..." button that keeps a colour and offers the colour dialog.
class ColourButton : public QPushButton {
 public:
  ColourButton(QWidget* parent, const char* name) : QPushButton(QStringLiteral("..."), parent) {
    setObjectName(name);
    setMaximumWidth(40);
    connect(this, &QPushButton::clicked, this, [this] {
      const QColor chosen = QColorDialog::getColor(colour_, this);
      if (chosen.isValid()) SetColour(chosen);
    });
  }
  void SetColour(const QColor& colour) {
    colour_ = colour;
    setStyleSheet(QStringLiteral("background-color: %1").arg(colour.name()));
  }
  QColor Colour() const { return colour_; }
  void Fill(const Rgb8& rgb) { SetColour(QColor(rgb.red, rgb.green, rgb.blue)); }
  Rgb8 Value() const {
    return Rgb8{static_cast<uint8_t>(colour_.red()), static_cast<uint8_t>(colour_.green()),
                static_cast<uint8_t>(colour_.blue())};
  }

 private:
  QColor colour_;
};

class COptGeneral : public OptionsPage {
 public:
  explicit COptGeneral(QWidget* parent) : OptionsPage(parent) {
    auto* layout = new QVBoxLayout(this);
    ask_ = AddCheck(this, layout, "askOnOverwrite", QStringLiteral("Ask on overwrite"));
    find_types_ = AddCheck(this, layout, "findTypesOnEnter", QStringLiteral("Find out filetypes on dir entering"));
    auto_preview_ = AddCheck(this, layout, "autoPreview", QStringLiteral("AutoPreview"));
    separate_ = AddCheck(this, layout, "previewSeparate", QStringLiteral("Preview in separate window"));
    auto* form = new QFormLayout();
    log_mode_ = new QComboBox(this);
    log_mode_->setObjectName("loggingMood");
    log_mode_->addItems({QStringLiteral("Show nothing"), QStringLiteral("Major & error to screen"),
                         QStringLiteral("All to screen, errors to file"), QStringLiteral("Everything to file")});
    form->addRow(QStringLiteral("Logging mood"), log_mode_);
    sort_ = new QComboBox(this);
    sort_->setObjectName("sortFilesBy");
    sort_->addItems({QStringLiteral("Name"), QStringLiteral("Extension"), QStringLiteral("Do not sort")});
    form->addRow(QStringLiteral("Sort files by"), sort_);
    layout->addLayout(form);
    // The main window's buttons change these two; they stay on the page, unseen.
    details_ = AddCheck(this, layout, "showDetailsOnStart", QStringLiteral("Show 'details' on start"));
    preview_ = AddCheck(this, layout, "showPreviewOnStart", QStringLiteral("Show 'preview' on start"));
    for (QCheckBox* hidden : {details_, preview_}) {
      hidden->setVisible(false);
      hidden->setEnabled(false);
    }
    layout->addStretch();
  }
  void Fill(const OptionsRecord& o) override {
    ask_->setChecked(o.ask_on_overwrite);
    find_types_->setChecked(o.find_types_on_enter);
    auto_preview_->setChecked(o.auto_preview);
    separate_->setChecked(o.preview_separate);
    log_mode_->setCurrentIndex(o.conversion.log_mode);
    sort_->setCurrentIndex(o.sort_mode);
    details_->setChecked(o.details_shown);
    preview_->setChecked(o.preview_shown);
    log_mode_value_ = o.conversion.log_mode;
    sort_value_ = o.sort_mode;
  }
  bool Check(QString*) override { return true; }
  void Store(OptionsRecord& o) const override {
    o.ask_on_overwrite = Bit(ask_);
    o.find_types_on_enter = Bit(find_types_);
    o.auto_preview = Bit(auto_preview_);
    o.preview_separate = Bit(separate_);
    // A stored value the lists do not offer stays as it was.
    o.conversion.log_mode = log_mode_->currentIndex() >= 0 ? log_mode_->currentIndex() : log_mode_value_;
    o.sort_mode = sort_->currentIndex() >= 0 ? sort_->currentIndex() : sort_value_;
    o.details_shown = Bit(details_);
    o.preview_shown = Bit(preview_);
  }

 private:
  QCheckBox *ask_, *find_types_, *auto_preview_, *separate_, *details_, *preview_;
  QComboBox *log_mode_, *sort_;
  int32_t log_mode_value_ = 0, sort_value_ = 0;
};

class COpt3Dgeneral : public OptionsPage {
 public:
  explicit COpt3Dgeneral(QWidget* parent) : OptionsPage(parent) {
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Viewing mode"), this);
    auto* group_layout = new QHBoxLayout(group);
    rotate_ = new QRadioButton(QStringLiteral("Rotate + zoom"), group);
    rotate_->setObjectName("rotateZoom");
    fly_ = new QRadioButton(QStringLiteral("Fly-through"), group);
    fly_->setObjectName("flyThrough");
    group_layout->addWidget(rotate_);
    group_layout->addWidget(fly_);
    layout->addWidget(group);
    walls_ = AddCheck(this, layout, "showOuterWalls", QStringLiteral("Show outer walls"));
    points_ = AddCheck(this, layout, "showPoints", QStringLiteral("Show points"));
    backfaces_ = AddCheck(this, layout, "backfacesWireframe", QStringLiteral("Backfaces: display only wireframe"));
    auto* form = new QFormLayout();
    background_ = new ColourButton(this, "background3d");
    form->addRow(QStringLiteral("Background color"), background_);
    delay_ = MakeEdit(this, "animationDelay");
    form->addRow(QStringLiteral("Animation delay (in seconds)"), delay_);
    stepping_ = MakeEdit(this, "animationStepping");
    form->addRow(QStringLiteral("Animation frame stepping"), stepping_);
    layout->addLayout(form);
    textures_ = AddCheck(this, layout, "overwriteTextures", QStringLiteral("Overwrite texture files with new ones"));
    auto* normals_row = new QHBoxLayout();
    normals_check_ = new QCheckBox(QStringLiteral("Stop calculating normals after"), this);
    normals_check_->setObjectName("normalsLimitCheck");
    normals_edit_ = MakeEdit(this, "normalsLimit");
    normals_unit_ = new QLabel(QStringLiteral("sec"), this);
    normals_row->addWidget(normals_check_);
    normals_row->addWidget(normals_edit_);
    normals_row->addWidget(normals_unit_);
    normals_row->addStretch();
    layout->addLayout(normals_row);
    for (QWidget* hidden : std::initializer_list<QWidget*>{normals_check_, normals_edit_, normals_unit_}) {
      hidden->setVisible(false);
      hidden->setEnabled(false);
    }
    connect(normals_check_, &QCheckBox::clicked, this, [this](bool on) { normals_edit_->setEnabled(on); });
    layout->addStretch();
  }
  void Fill(const OptionsRecord& o) override {
    viewing_mode_ = o.viewing_mode;
    rotate_->setChecked(o.viewing_mode == 0);
    fly_->setChecked(o.viewing_mode == 1);
    walls_->setChecked(o.show_outer_walls);
    points_->setChecked(o.show_points);
    backfaces_->setChecked(o.backfaces_wireframe != 0);
    background_->Fill(o.background_3d);
    delay_->setText(FloatText(o.animation_delay));
    stepping_->setText(FloatText(o.animation_stepping));
    textures_->setChecked(o.conversion.overwrite_textures);
    normals_check_->setChecked(o.conversion.normals_time_limit > 0.0f);
    normals_edit_->setText(FloatText(o.conversion.normals_time_limit));
  }
  bool Check(QString* message) override {
    if (!CheckEdit(delay_, 0.0f, 10.0f, message)) return false;
    if (!CheckEdit(stepping_, -kNoRange, kNoRange, message)) return false;
    // The limit counts only while its box is ticked.
    return !normals_check_->isChecked() || CheckEdit(normals_edit_, -1.0f, 3600.0f, message);
  }
  void Store(OptionsRecord& o) const override {
    if (rotate_->isChecked()) o.viewing_mode = 0;
    else if (fly_->isChecked()) o.viewing_mode = 1;
    else o.viewing_mode = viewing_mode_;
    o.show_outer_walls = Bit(walls_);
    o.show_points = Bit(points_);
    o.backfaces_wireframe = Bit(backfaces_);
    o.background_3d = background_->Value();
    o.animation_delay = EditValue(delay_);
    o.animation_stepping = EditValue(stepping_);
    o.conversion.overwrite_textures = Bit(textures_);
    o.conversion.normals_time_limit = normals_check_->isChecked() ? EditValue(normals_edit_) : 0.0f;
  }

 private:
  QRadioButton *rotate_, *fly_;
  QCheckBox *walls_, *points_, *backfaces_, *textures_, *normals_check_;
  ColourButton* background_;
  QLineEdit *delay_, *stepping_, *normals_edit_;
  QLabel* normals_unit_;
  int32_t viewing_mode_ = 0;
};

class COptGeBmp : public OptionsPage {
 public:
  explicit COptGeBmp(QWidget* parent) : OptionsPage(parent) {
    auto* layout = new QVBoxLayout(this);
    to_pink_ = AddCheck(this, layout, "alphaToPink", QStringLiteral("Alpha=0 to Pink(RGB:255,0,255) on alpha loss"));
    to_alpha_ = AddCheck(this, layout, "pinkToAlpha", QStringLiteral("Pink(RGB:255,0,255) to Alpha=0 on alpha gain"));
    auto* form = new QFormLayout();
    background_ = new ColourButton(this, "backgroundPicture");
    form->addRow(QStringLiteral("Background color"), background_);
    layout->addLayout(form);
    alpha_ = AddCheck(this, layout, "alphaActivated", QStringLiteral("Alpha activated"));
    layout->addStretch();
  }
  void Fill(const OptionsRecord& o) override {
    to_pink_->setChecked(o.conversion.alpha_zero_to_pink);
    to_alpha_->setChecked(o.conversion.pink_to_alpha_zero);
    background_->Fill(o.background_picture);
    alpha_->setChecked(o.conversion.alpha_activated);
  }
  bool Check(QString*) override { return true; }
  void Store(OptionsRecord& o) const override {
    o.conversion.alpha_zero_to_pink = Bit(to_pink_);
    o.conversion.pink_to_alpha_zero = Bit(to_alpha_);
    o.background_picture = background_->Value();
    o.conversion.alpha_activated = Bit(alpha_);
  }

 private:
  QCheckBox *to_pink_, *to_alpha_, *alpha_;
  ColourButton* background_;
};

class COptLwo : public OptionsPage {
 public:
  explicit COptLwo(QWidget* parent) : OptionsPage(parent) {
    auto* layout = new QVBoxLayout(this);
    auto* smoothing_row = new QHBoxLayout();
    smoothing_check_ = new QCheckBox(QStringLiteral("Deafault smoothing angle"), this);
    smoothing_check_->setObjectName("smoothingCheck");
    smoothing_edit_ = MakeEdit(this, "smoothingAngle");
    smoothing_row->addWidget(smoothing_check_);
    smoothing_row->addWidget(smoothing_edit_);
    smoothing_row->addStretch();
    layout->addLayout(smoothing_row);
    auto* form = new QFormLayout();
    luminosity_ = MakeEdit(this, "luminosity");
    form->addRow(QStringLiteral("Material luminosity (0..100)"), luminosity_);
    diffuse_ = MakeEdit(this, "diffuse");
    form->addRow(QStringLiteral("Material diffuse (0..100)"), diffuse_);
    layout->addLayout(form);
    weightmaps_ = AddCheck(this, layout, "saveWeightmaps", QStringLiteral("Save weightmaps"));
    layout->addStretch();
    // Switching the angle on always starts from the usual smoothing angle.
    connect(smoothing_check_, &QCheckBox::clicked, this, [this](bool on) {
      smoothing_edit_->setText(FloatText(on ? 89.53f : -1.0f));
      smoothing_edit_->setEnabled(on);
    });
  }
  void Fill(const OptionsRecord& o) override {
    const bool on = o.conversion.smoothing_angle > -1.0f;
    smoothing_check_->setChecked(on);
    smoothing_edit_->setText(FloatText(o.conversion.smoothing_angle));
    smoothing_edit_->setEnabled(on);
    luminosity_->setText(FloatText(o.conversion.lwo_luminosity));
    diffuse_->setText(FloatText(o.conversion.lwo_diffuse));
    weightmaps_->setChecked(o.conversion.save_weightmaps);
  }
  bool Check(QString* message) override {
    if (smoothing_check_->isChecked() && !CheckEdit(smoothing_edit_, -kNoRange, kNoRange, message)) return false;
    return CheckEdit(luminosity_, 0.0f, 100.0f, message) && CheckEdit(diffuse_, 0.0f, 100.0f, message);
  }
  void Store(OptionsRecord& o) const override {
    o.conversion.smoothing_angle = smoothing_check_->isChecked() ? EditValue(smoothing_edit_) : -1.0f;
    o.conversion.lwo_luminosity = EditValue(luminosity_);
    o.conversion.lwo_diffuse = EditValue(diffuse_);
    o.conversion.save_weightmaps = Bit(weightmaps_);
  }

 private:
  QCheckBox *smoothing_check_, *weightmaps_;
  QLineEdit *smoothing_edit_, *luminosity_, *diffuse_;
};

class COptFF7 : public OptionsPage {
 public:
  explicit COptFF7(QWidget* parent) : OptionsPage(parent) {
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Field anims to load:"), this);
    auto* group_layout = new QVBoxLayout(group);
    only_correct_ = new QRadioButton(QStringLiteral("Only correct ones"), group);
    only_correct_->setObjectName("onlyCorrectAnims");
    all_that_fit_ = new QRadioButton(QStringLiteral("All that fit"), group);
    all_that_fit_->setObjectName("allThatFitAnims");
    group_layout->addWidget(only_correct_);
    group_layout->addWidget(all_that_fit_);
    layout->addWidget(group);
    poly_materials_ = AddCheck(this, layout, "loadPolyMaterials", QStringLiteral("Load poly materials"));
    weapon_label_ = new QLabel(QStringLiteral("Weapon to show:"), this);
    weapon_ = new QComboBox(this);
    weapon_->setObjectName("weaponToShow");
    weapon_->addItems({QStringLiteral("None"), QStringLiteral("Primary")});
    for (int i = 2; i <= 17; ++i) weapon_->addItem(QString::number(i));
    layout->addWidget(weapon_label_);
    layout->addWidget(weapon_);
    weapon_label_->setVisible(false);
    weapon_->setVisible(false);
    connect(weapon_, &QComboBox::activated, this, [this](int position) { weapon_value_ = position - 1; });
    layout->addStretch();
  }
  void Fill(const OptionsRecord& o) override {
    anims_ = o.conversion.ff7_field_anims;
    only_correct_->setChecked(anims_ == 0);
    all_that_fit_->setChecked(anims_ == 1);
    poly_materials_->setChecked(o.conversion.ff7_load_poly_materials);
    weapon_value_ = o.conversion.ff7_weapon;
    weapon_->setCurrentIndex(weapon_value_ + 1 >= 0 && weapon_value_ + 1 < weapon_->count() ? weapon_value_ + 1 : -1);
  }
  bool Check(QString*) override { return true; }
  void Store(OptionsRecord& o) const override {
    if (only_correct_->isChecked()) o.conversion.ff7_field_anims = 0;
    else if (all_that_fit_->isChecked()) o.conversion.ff7_field_anims = 1;
    else o.conversion.ff7_field_anims = anims_;
    o.conversion.ff7_load_poly_materials = Bit(poly_materials_);
    o.conversion.ff7_weapon = weapon_value_;
  }

 private:
  QRadioButton *only_correct_, *all_that_fit_;
  QCheckBox* poly_materials_;
  QLabel* weapon_label_;
  QComboBox* weapon_;
  int32_t anims_ = 1, weapon_value_ = -1;
};

class COpt3ds : public OptionsPage {
 public:
  explicit COpt3ds(QWidget* parent) : OptionsPage(parent) {
    auto* layout = new QVBoxLayout(this);
    limit_ = AddCheck(this, layout, "limitMaterials", QStringLiteral("Limit number of written materials to 255"));
    layout->addStretch();
  }
  void Fill(const OptionsRecord& o) override { limit_->setChecked(o.conversion.limit_materials_255); }
  bool Check(QString*) override { return true; }
  void Store(OptionsRecord& o) const override { o.conversion.limit_materials_255 = Bit(limit_); }

 private:
  QCheckBox* limit_;
};

class COptWObj : public OptionsPage {
 public:
  explicit COptWObj(QWidget* parent) : OptionsPage(parent) {
    auto* layout = new QVBoxLayout(this);
    one_object_ = AddCheck(this, layout, "objOneObject",
                           QStringLiteral("Load whole file as one object \n(helps when objecting is messed up)"));
    layout->addStretch();
  }
  void Fill(const OptionsRecord& o) override { one_object_->setChecked(o.conversion.obj_one_object); }
  bool Check(QString*) override { return true; }
  void Store(OptionsRecord& o) const override { o.conversion.obj_one_object = Bit(one_object_); }

 private:
  QCheckBox* one_object_;
};

}  // namespace

COptionsSheet::COptionsSheet(const OptionsRecord& options, QWidget* parent) : QDialog(parent), record_(options) {
  setWindowTitle(QStringLiteral("Zepcon options"));
  setModal(true);
  warner_ = [this](const QString& message) { QMessageBox::warning(this, windowTitle(), message); };

  tabs_ = new QTabWidget(this);
  const auto add = [this](OptionsPage* page, const QString& title) {
    page->Fill(record_);
    pages_.push_back(page);
    tabs_->addTab(page, title);
  };
  add(new COptGeneral(tabs_), QStringLiteral("General"));
  add(new COpt3Dgeneral(tabs_), QStringLiteral("3D general"));
  add(new COptGeBmp(tabs_), QStringLiteral("Bitmaps general"));
  add(new COptLwo(tabs_), QStringLiteral("LWO - lightwave"));
  add(new COptFF7(tabs_), QStringLiteral("Final Fantasy 7"));
  add(new COpt3ds(tabs_), QStringLiteral("3DS"));
  add(new COptWObj(tabs_), QStringLiteral("Wavefront (Obj)"));

  // A page with a refused number is not left.
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
    if (index == current_page_) return;
    const int leaving = current_page_;
    if (!CheckPage(leaving)) {
      tabs_->setCurrentIndex(leaving);
      return;
    }
    current_page_ = index;
  });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &COptionsSheet::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &COptionsSheet::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(buttons);
  resize(660, 380);  // all seven tabs in view
}

bool COptionsSheet::CheckPage(int index) {
  if (index < 0 || index >= static_cast<int>(pages_.size())) return true;
  QString message;
  if (pages_[index]->Check(&message)) return true;
  warner_(message);
  return false;
}

void COptionsSheet::accept() {
  if (!CheckPage(current_page_)) return;
  for (size_t i = 0; i < pages_.size(); ++i) {
    if (!CheckPage(static_cast<int>(i))) {
      current_page_ = static_cast<int>(i);
      tabs_->setCurrentIndex(current_page_);
      return;
    }
  }
  OptionsRecord edited = record_;
  for (const OptionsPage* page : pages_) page->Store(edited);
  record_ = edited;
  QDialog::accept();
}

}  // namespace zepcon::ui
