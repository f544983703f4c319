// The DSP parameters dialog "IDD_DIALOG_DSP" ("DSP Parameters"): a modeless dialog owned by
// the main window, at most one open, that shows and changes the parameters of the voice
// reducer and stereo generator, the microphone's hum filters, the ambience echo and reverb and
// the voice effects' resonator bank.
//
// Each parameter has a slider (positions 0..100 over the parameter's range) and an edit box.
// Moving the slider shows its value in the box and applies it. A box is read when Return is
// pressed or it loses the focus: empty text gives the range's minimum, text that starts with
// no number reads as 0, and the value is kept to the range; the box is then written with the
// value applied when that differs from what was typed, the slider follows, and the value is
// applied as the slider would. Changes reach the audio thread through the engine's request
// setters.
#pragma once

class QWidget;

// "DSP Parameters ..." (Debug menu): opens the dialog, or raises the one that is open.
void OpenDspParametersDialog(QWidget* owner);
// The open dialog, or null.
QWidget* DspParametersDialog();
// Closes the open dialog, if any (shutdown).
void CloseDspParametersDialog();

// Fills every control from the current values (the second argument is not used); the two
// order groups are set, and their orders applied again, through the two operations below. A
// null dialog prints "SetGUI_DSPMicFX: Uh oh.  w=NULL\n".
void SetGUI_DSPMicFX(QWidget* dialog, int unused);
// The crossover order of the voice reducer (0 switches the band split and the bass replace
// off), shown on the "Center Channel Filter" radios (2, 4, 16, anything else "Off").
void SetCenterFilterOrder(QWidget* dialog, int order);
// The stereo generator's comb order: 3, 5, 7, 11, 21 and 31 switch the generator on (7 and 21
// have no radio), anything else switches it off and checks "Off".
void SetStereoGeneratorOrder(QWidget* dialog, int order);
