// The options sheet "Zepcon options": seven pages that edit the options
// record. The record is touched only when OK succeeds.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <vector>

#include "core/conversion_settings.h"

class QTabWidget;

namespace zepcon::ui {

// One page of the sheet: filled from the record, checked, written back.
class OptionsPage : public QWidget {
  Q_OBJECT

 public:
  using QWidget::QWidget;
  virtual void Fill(const OptionsRecord& options) = 0;
  // False with the message to show when a typed number is refused; the
  // offending edit gets the focus.
  virtual bool Check(QString* message) = 0;
  virtual void Store(OptionsRecord& options) const = 0;
};

class COptionsSheet : public QDialog {
  Q_OBJECT

 public:
  explicit COptionsSheet(const OptionsRecord& options, QWidget* parent = nullptr);

  // The edited record; equal to the one given until OK succeeded.
  const OptionsRecord& Record() const { return record_; }

  // Shows a refusal of a typed number (a message box unless replaced).
  void SetWarner(std::function<void(const QString&)> warner) { warner_ = std::move(warner); }

  QTabWidget* Tabs() const { return tabs_; }

  void accept() override;

 private:
  bool CheckPage(int index);

  OptionsRecord record_;
  QTabWidget* tabs_ = nullptr;
  std::vector<OptionsPage*> pages_;
  int current_page_ = 0;
  std::function<void(const QString&)> warner_;
};

// Numbers as the edits show them: the shortest text that reads back as the
// same float.
QString FloatText(float value);

// Reads a typed number; false for text that is not one.
bool ParseFloat(const QString& text, float* value);

// The refusal of a typed number for an edit taking `minimum`..`maximum`,
// empty when it is taken.
QString RangeRefusal(const QString& text, float minimum, float maximum, float* value);

}  // namespace zepcon::ui
