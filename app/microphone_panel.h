// The microphone panel: the lower area of the main window with the eight voice-effect buttons
// and the variation slider (widgets 1041 to 1048 and 1076 of the CD player panel). A button
// chooses its preset and sets the sound card's direct microphone path in the playback mix to
// match: on for the presets that add to the dry voice (1-4), muted for those that replace it
// (5-8). Releasing the pressed button switches the effects off and the direct path on. One
// button at most is shown pressed.
#pragma once

#include <cstdint>

class QWidget;

inline constexpr int kIdEffectVariation = 1076;

// The buttons' and the slider's bitmaps handed to the widgets; each drawing is loaded once for
// each skin scale.
void LoadMicrophonePanelBitmaps(QWidget* panel);
// The buttons as toggle buttons and the slider over 0..1, all calling
// MicrophonePanelStateManager; then the panel shows the current preset (SetGUI_MicFX).
void InitializeGUI_MicFX(QWidget* panel);
// Callback of the eight buttons and the slider.
void MicrophonePanelStateManager(int32_t id);
// The current preset's button pressed (none while the effects are off), the others released,
// and the slider at the current variation.
void SetGUI_MicFX(QWidget* panel);
// Shows or hides the panel's widgets.
void ShowMicrophonePanel(bool show);
// Shutdown: closes the DSP parameters dialog and destroys the panel's widgets.
void DestroyMicrophonePanel(QWidget* panel);
