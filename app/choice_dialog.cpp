#include "app/choice_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

int RunChoiceDialog(QWidget* parent, const QString& name, const QString& caption,
                    const QStringList& texts, const std::vector<std::string>& entries) {
  QDialog dialog(parent);
  dialog.setObjectName(name);
  dialog.setWindowTitle(caption);
  auto* layout = new QVBoxLayout(&dialog);
  for (const QString& text : texts) {
    auto* label = new QLabel(text, &dialog);
    label->setTextFormat(Qt::PlainText);  // the texts' runs of blanks stay
    label->setWordWrap(true);
    layout->addWidget(label);
  }
  auto* list = new QListWidget(&dialog);
  for (const std::string& entry : entries) list->addItem(QString::fromStdString(entry));
  if (!entries.empty()) list->setCurrentRow(0);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
  layout->addWidget(list);
  layout->addWidget(buttons);
  dialog.resize(520, 320);
  dialog.exec();
  return list->currentRow();
}
