#include "ui/about_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTreeWidget>

#include "core/format_table.h"

namespace zepcon::ui {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About %1").arg(QStringLiteral("Zepcon")));

  auto* intro = new QLabel(QStringLiteral("This program can convert filetypes displayed at the right. Conversion is "
                                          "only possible between files of same type."),
                           this);
  intro->setWordWrap(true);
  auto* credits = new QPlainTextEdit(this);
  credits->setReadOnly(true);
  credits->setPlainText(QStringLiteral(
      "Zepcon - a converter and viewer for 3D model and picture files.\n\n"
      "Greetings to everyone who sent sample files, reported broken ones and kept asking for one more format."));

  types_ = new QTreeWidget(this);
  types_->setObjectName("availableFiletypes");
  types_->setRootIsDecorated(false);
  types_->setSelectionBehavior(QAbstractItemView::SelectRows);
  types_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Ext"), QStringLiteral("Type"),
                           QStringLiteral("Read"), QStringLiteral("Write")});
  const int widths[] = {110, 50, 60, 40, 40};
  for (int column = 0; column < 5; ++column) types_->setColumnWidth(column, widths[column]);
  for (int i = 0; i < kFileTypeCount; ++i) {
    if (!FileTypeRow(i)) continue;  // the placeholder of no type
    const FileTypeInfo& row = FormatTable()[i];
    types_->addTopLevelItem(new QTreeWidgetItem(
        QStringList{QString::fromLatin1(row.name), QString::fromLatin1(row.extension),
                    QString::fromLatin1(DataKindName(row.data_kind)), row.can_load ? "Yes" : "No",
                    row.can_save ? "Yes" : "No"}));
  }
  types_->setMinimumWidth(330);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QGridLayout(this);
  layout->addWidget(intro, 0, 0);
  layout->addWidget(credits, 1, 0);
  layout->addWidget(new QLabel(QStringLiteral("Available filetypes"), this), 0, 1);
  layout->addWidget(types_, 1, 1);
  layout->addWidget(buttons, 2, 0, 1, 2);
  resize(620, 380);
}

}  // namespace zepcon::ui
