// The about box: the table of known file types and what each can do.
#pragma once

#include <QDialog>

class QTreeWidget;

namespace zepcon::ui {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);
  QTreeWidget* TypeList() const { return types_; }

 private:
  QTreeWidget* types_ = nullptr;
};

}  // namespace zepcon::ui
