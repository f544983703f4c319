#include "app/preferences_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/settings.h"

int RunPreferencesDialog(QWidget* owner) {
  QDialog dialog(owner);
  dialog.setObjectName("KaraokePreferences");
  dialog.setWindowTitle("Karaoke Preferences");
  auto* group = new QGroupBox("Internet Browser", &dialog);
  auto* browser = new QLineEdit(QString::fromStdString(settings.browser), group);
  browser->setObjectName("2142");
  browser->setMinimumWidth(320);
  auto* browse = new QPushButton("Browse..", group);
  auto* row = new QHBoxLayout(group);
  row->addWidget(browser, 1);
  row->addWidget(browse);
  QObject::connect(browse, &QPushButton::clicked, &dialog, [&dialog, browser] {
    const QString chosen = QFileDialog::getOpenFileName(&dialog, "Internet Browser", "/usr/bin");
    if (!chosen.isEmpty()) browser->setText(chosen);
  });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(group);
  layout->addWidget(buttons);
  if (dialog.exec() == QDialog::Accepted) {
    const std::string chosen = browser->text().trimmed().toStdString();
    settings.browser = chosen.empty() ? "none" : chosen;
    SaveSettings();
  }
  return 1;
}
