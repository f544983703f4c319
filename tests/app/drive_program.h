// The real program under xvfb-run, driven with real X input by drive_panel.sh.
#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <string>

// Whether xvfb-run, xdotool and ImageMagick's import are installed.
inline bool XvfbToolsInstalled() {
  for (const char* tool : {"xvfb-run", "xdotool", "import"}) {
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
  run.start("xvfb-run",
            QStringList{"-a", "-s", "-screen 0 1024x768x24", SORN_APP_TEST_DIR "/drive_panel.sh",
                        SORN_BUILD_DIR "/app/sorn-karaoke", QString::fromStdString(work)} +
                steps);
  const bool ended = run.waitForFinished(240000);
  *output = run.readAll().toStdString();
  return ended ? run.exitCode() : -1;
}
