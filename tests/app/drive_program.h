// The real program under xvfb-run, driven with real X input by drive_panel.sh.
#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <map>
#include <sstream>
#include <string>

#include "resources/skin/skin_layout.h"
#include "tests/support/scratch_folder.h"

// Whether xvfb-run, xdotool and ImageMagick's import are installed.
inline bool XvfbToolsInstalled() {
  for (const char* tool : {"xvfb-run", "xdotool", "import", "xprop"}) {
    if (QStandardPaths::findExecutable(tool).isEmpty()) return false;
  }
  return true;
}

// Runs the program on the demo disc with its settings, data and the card's output in work,
// takes the steps (see drive_panel.sh) and ends it with Esc. The output of both goes to
// *output; the result is the exit status (-1 when it did not end within 4 minutes). Variables
// in `variables` ("NAME=VALUE") are added to the program's environment.
inline int DriveProgram(const std::string& work, const QStringList& steps, std::string* output,
                        const QStringList& variables = {}) {
  QProcess run;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("QT_QPA_PLATFORM");
  for (const QString& v : variables) env.insert(v.section('=', 0, 0), v.section('=', 1));
  env.insert("SORN_DRIVES", "image:" SORN_BUILD_DIR "/demo/demo.cue");
  run.setProcessEnvironment(env);
  run.setProcessChannelMode(QProcess::MergedChannels);
  output->clear();
  // Each run looks for a free display from its own number on, so that runs started together
  // do not take the same one; an X server that never took connections gets one more try
  // further on (the program has not run then).
  const qint64 first = 100 + QCoreApplication::applicationPid() % 400;
  for (int attempt = 0;; ++attempt) {
    run.start("xvfb-run",
              QStringList{"-a", "-n", QString::number(first + attempt * 50), "-s",
                          "-screen 0 1024x768x24", SORN_APP_TEST_DIR "/drive_panel.sh",
                          SORN_BUILD_DIR "/app/sorn-karaoke", QString::fromStdString(work)} +
                  steps);
    const bool ended = run.waitForFinished(240000);
    *output += run.readAll().toStdString();
    if (!ended) return -1;
    if (run.exitCode() != 91 || attempt == 1) return run.exitCode();
  }
}

// The step that clicks a control of the skin: across its middle, fractionDown of its height
// down.
inline QString ClickAt(int id, double fractionDown = 0.5) {
  const SkinRect r = FindSkinControl(id)->rect;
  return QString("click %1 %2").arg(r.x + r.width / 2).arg(r.y + int(r.height * fractionDown));
}

// The marks of a run: for each name, the frame of the card's output written by then.
inline std::map<std::string, size_t> ReadMarks(const std::string& work) {
  std::map<std::string, size_t> marks;
  std::istringstream in(ReadWholeFile(work + "/marks.txt"));
  std::string name;
  size_t bytes = 0;
  // Bytes the card had written at the mark, as a frame of its data (after the 44-byte header).
  while (in >> name >> bytes) marks[name] = bytes > 44 ? (bytes - 44) / 4 : 0;
  return marks;
}
