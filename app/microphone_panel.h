// The microphone panel: the lower area of the main window with the voice-effect buttons and
// the variation slider (widgets 1041 to 1048 and 1076 of the CD player panel).
#pragma once

// Shows or hides the panel's widgets.
void ShowMicrophonePanel(bool show);
// "DSP Parameters ..." (Debug menu): the modeless DSP parameters dialog, one at a time.
class QWidget;
void OpenDspParametersDialog(QWidget* owner);
