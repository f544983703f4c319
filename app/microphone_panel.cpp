#include "app/microphone_panel.h"

#include "app/cdplayer_panel.h"
#include "diagnostics/diagnostics.h"
#include "widgets/framework.h"

void ShowMicrophonePanel(bool show) {
  QWidget* panel = CdPlayerPanel();
  if (!panel) return;
  for (int id : {1041, 1042, 1043, 1044, 1045, 1046, 1047, 1048, 1076}) {
    if (QWidget* w = GkGetDlgItem(panel, id)) w->setVisible(show);
  }
}

void OpenDspParametersDialog(QWidget*) {
  // The DSP parameters dialog comes with the microphone panel's own work.
  Trace("OpenDspParametersDialog: the DSP parameters dialog is not available yet\n");
}
