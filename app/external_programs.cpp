#include "app/external_programs.h"

#include <unistd.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QVBoxLayout>

#include "app/launcher_table.h"
#include "app/lyrics_panel.h"
#include "cdinfo/info_file.h"
#include "diagnostics/diagnostics.h"
#include "resources/help/help.h"
#include "settings/settings.h"

ExternalPrograms externalPrograms;

namespace {

constexpr const char* kBuiltInEditor = "built-in";
constexpr const char* kTerminalMixer = "x-terminal-emulator -e alsamixer";

std::string Quoted(const std::string& path) {
  return "\"" + path + "\"";
}

// A plain-text editor window on one file. Closing it ends the edit; unsaved changes are
// offered for saving first.
class BuiltInEditor : public QWidget {
 public:
  BuiltInEditor(QWidget* owner, const QString& path) : QWidget(owner, Qt::Window), path_(path) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName("SornTextEditor");
    setWindowTitle(QFileInfo(path).fileName() + " - Sorn Karaoke Editor");
    text_ = new QPlainTextEdit(this);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* save = new QPushButton("&Save", this);
    auto* close = new QPushButton("&Close", this);
    status_ = new QLabel(this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_, 1);
    buttons->addWidget(save);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addLayout(buttons);
    connect(save, &QPushButton::clicked, this, [this] { Save(); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    new QShortcut(QKeySequence::Save, this, [this] { Save(); });
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
      text_->setPlainText(QString::fromUtf8(file.readAll()));
    } else {
      status_->setText("New file");
    }
    text_->document()->setModified(false);
    resize(640, 480);
  }

  QPlainTextEdit* Text() const { return text_; }

  bool Save() {
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || file.write(text_->toPlainText().toUtf8()) < 0 ||
        !file.commit()) {
      status_->setText("Could not save: " + file.errorString());
      Trace("BuiltInEditor: could not save '%s': %s\n", qPrintable(path_),
            qPrintable(file.errorString()));
      return false;
    }
    text_->document()->setModified(false);
    status_->setText("Saved");
    return true;
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (!text_->document()->isModified()) return event->accept();
    const auto answer =
        QMessageBox::question(this, windowTitle(), "Save the changes before closing?",
                              QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    if (answer == QMessageBox::Cancel || (answer == QMessageBox::Save && !Save())) {
      event->ignore();
      return;
    }
    event->accept();
  }

 private:
  QString path_;
  QPlainTextEdit* text_;
  QLabel* status_;
};

}  // namespace

bool WatchedProgramRuns(WatchedProgram* program) {
  if (!program->active) return false;
  const bool runs = program->handles.process > 0 ? IsProcessRunning(program->handles.process)
                                                 : !program->window.isNull();
  if (!runs) *program = WatchedProgram{};
  return runs;
}

std::string TextEditorCommand() {
  if (settings.textEditor == kBuiltInEditor) return std::string();
  if (!settings.textEditor.empty()) return settings.textEditor;
  return DesktopCounterpart("notepad.exe");
}

QWidget* OpenBuiltInEditor(QWidget* owner, const std::string& path) {
  auto* editor = new BuiltInEditor(owner, QString::fromStdString(path));
  editor->show();
  editor->raise();
  editor->activateWindow();
  return editor;
}

bool StartTextEditor(QWidget* owner, const std::string& path, WatchedProgram* program) {
  const std::string command = TextEditorCommand();
  *program = WatchedProgram{};
  program->active = true;
  if (command.empty()) {
    program->window = OpenBuiltInEditor(owner, path);
    return true;
  }
  if (!LaunchApplicationDeluxe(owner, command + " " + Quoted(path), 1, &program->handles)) {
    *program = WatchedProgram{};
    return false;
  }
  return true;
}

std::string MixerCommand() {
  if (!settings.mixerProgram.empty()) return settings.mixerProgram;
  const std::string desktop = DesktopCounterpart("sndvol32.exe");
  // Without any, the last resort is named, so that the failure says what was tried.
  return desktop.empty() ? kTerminalMixer : desktop;
}

std::string HelpPagePath() {
  // Next to the program when it is installed with it, else the copy compiled into it.
  const QString beside = QCoreApplication::applicationDirPath() + "/help/sorn-karaoke-help.html";
  if (QFileInfo::exists(beside)) return beside.toStdString();
  InitHelpResources();
  QFile compiled(kHelpPageResource);
  if (!compiled.open(QIODevice::ReadOnly)) return std::string();
  const QByteArray page = compiled.readAll();
  const QString path =
      QDir::temp().filePath(QString("sorn-karaoke-help-%1.html").arg(static_cast<int>(getuid())));
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(page) != page.size() || !file.commit())
    return std::string();
  return path.toStdString();
}

void WatchExternalPrograms(void* window) {
  ExternalPrograms& p = externalPrograms;
  if (p.cdInfoEditor.active && !WatchedProgramRuns(&p.cdInfoEditor)) LoadCdInfoFile(window);
  if (p.lyricsEditor.active && !WatchedProgramRuns(&p.lyricsEditor)) FinishLyricsEdit(window);
  if (p.mixer.active) WatchedProgramRuns(&p.mixer);
  if (p.help.active) WatchedProgramRuns(&p.help);
}
