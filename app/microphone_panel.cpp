#include "app/microphone_panel.h"

#include <QPixmap>
#include <QString>
#include <iterator>

#include "app/audio_context.h"
#include "app/cdplayer_panel.h"
#include "app/dsp_dialog.h"
#include "audio/mixer.h"
#include "audio/sound_block.h"
#include "diagnostics/diagnostics.h"
#include "dsp/voicefx.h"
#include "resources/skin/skin.h"
#include "resources/skin/skin_layout.h"
#include "widgets/bitmap_button.h"
#include "widgets/framework.h"
#include "widgets/slider.h"

namespace {

struct EffectButton {
  int id;
  int preset;
  // The preset is asked for before the direct path is muted (the other voice changers mute
  // first).
  bool presetBeforeMute;
  const char* name;
};

// The button's drawing is "IDB_BITMAP_BUTTON_MICFX_VOICEFX<row>_DOWN", row being its place here.
constexpr EffectButton kEffectButtons[] = {
    {1041, 1, false, "IDC_BUTTON_MICFX_CONCERTHALL"},
    {1042, 2, false, "IDC_BUTTON_MICFX_SHOWER"},
    {1043, 3, false, "IDC_BUTTON_MICFX_SPORTSARENA"},
    {1044, 4, false, "IDC_BUTTON_MICFX_GRANDCANYON"},
    {1045, 5, false, "IDC_BUTTON_MICFX_HIGHVOICE"},
    {1046, 6, false, "IDC_BUTTON_MICFX_LOWVOICE"},
    {1047, 8, false, "IDC_BUTTON_MICFX_MONSTER"},
    {1048, 7, true, "IDC_BUTTON_MICFX_ROBOT"},
};
constexpr int kEffectButtonCount = static_cast<int>(std::size(kEffectButtons));

// The drawings, loaded once for each skin scale (made at first use: pixmaps need the
// application).
struct PanelBitmaps {
  int scale = 0;  // 0: not loaded
  QPixmap buttonsDown[kEffectButtonCount];
  QPixmap background;
  QPixmap trough, cap;
};

PanelBitmaps& Bitmaps() {
  static PanelBitmaps bitmaps;
  return bitmaps;
}

QWidget* Item(int id) {
  QWidget* panel = CdPlayerPanel();
  return panel ? GkGetDlgItem(panel, id) : nullptr;
}

const EffectButton* FindEffectButton(int id) {
  for (const EffectButton& b : kEffectButtons)
    if (b.id == id) return &b;
  return nullptr;
}

// The sound card's direct microphone path in the playback mix. Without a mixer there is
// nothing to set.
void MuteDirectMicrophone(bool mute) {
  SetMute_Microphone(mixerState.mixer, &mixerState.table, kMixerPlayback, mute ? 1 : 0);
}

void ChooseEffect(const EffectButton& b) {
  const bool keepsDryVoice = VoiceFXPresetKeepsDryVoice(b.preset);
  if (b.presetBeforeMute) RequestVoiceFXChange(kVoiceFXPreset, static_cast<float>(b.preset));
  if (!keepsDryVoice) MuteDirectMicrophone(true);
  if (!b.presetBeforeMute) RequestVoiceFXChange(kVoiceFXPreset, static_cast<float>(b.preset));
  soundBlock.voiceFX.bypass.store(0);
  if (keepsDryVoice) MuteDirectMicrophone(false);
}

}  // namespace

void LoadMicrophonePanelBitmaps(QWidget* panel) {
  if (!panel) return;
  PanelBitmaps& bitmaps = Bitmaps();
  if (bitmaps.scale != SkinScale()) {
    for (int i = 0; i < kEffectButtonCount; ++i)
      bitmaps.buttonsDown[i] =
          LoadSkinBitmap(QString("IDB_BITMAP_BUTTON_MICFX_VOICEFX%1_DOWN").arg(i));
    bitmaps.background = LoadSkinBitmap(kSkinBackgroundId);
    bitmaps.trough = LoadSkinBitmap("IDB_BITMAP_SLIDER_MICFX_VARIATION_TROUGH");
    bitmaps.cap = LoadSkinBitmap("IDB_BITMAP_SLIDER_MICFX_VARIATION_CAP");
    bitmaps.scale = SkinScale();
  }
  for (int i = 0; i < kEffectButtonCount; ++i) {
    QWidget* button = GkGetDlgItem(panel, kEffectButtons[i].id);
    const QPixmap looks[2] = {bitmaps.buttonsDown[i], bitmaps.background};
    gkButton_SetGraphics(button, looks, 2);
    gkButton_SetBitmapCutAreaSelf(button, 1);
  }
  const QPixmap slider[2] = {bitmaps.trough, bitmaps.cap};
  gkSlider_SetGraphics(GkGetDlgItem(panel, kIdEffectVariation), slider);
}

void InitializeGUI_MicFX(QWidget* panel) {
  if (!panel) return;
  for (const EffectButton& b : kEffectButtons) {
    QWidget* button = GkGetDlgItem(panel, b.id);
    gkButton_SetBehavior(button, b.id, kGkButtonToggle, MicrophonePanelStateManager, nullptr);
    gkButton_SetName(button, b.name);
  }
  QWidget* slider = GkGetDlgItem(panel, kIdEffectVariation);
  gkSlider_SetProperties(slider, kIdEffectVariation, kGkSliderHorizontal,
                         MicrophonePanelStateManager);
  gkSlider_SetRange(slider, 0.0f, 1.0f);
  gkSlider_SetName(slider, "IDC_SLIDER_MICFX_VARIATION");
  SetGUI_MicFX(panel);
}

void MicrophonePanelStateManager(int32_t id) {
  if (const EffectButton* b = FindEffectButton(id)) {
    if (gkButton_GetState(Item(id)) == 0) {
      // One button at a time: the others come up.
      for (const EffectButton& other : kEffectButtons)
        if (other.id != id) gkButton_SetState(Item(other.id), 1);
      ChooseEffect(*b);
      // Choosing a preset restarts its variation, also when it is the same preset again.
      gkSlider_SetValue(Item(kIdEffectVariation), ShownVoiceFX().variation.load());
    } else {
      soundBlock.voiceFX.bypass.store(1);
      MuteDirectMicrophone(false);
    }
  } else if (id == kIdEffectVariation) {
    RequestVoiceFXChange(kVoiceFXVariation, gkSlider_GetValue(Item(kIdEffectVariation)));
  } else {
    Trace("MicrophonePanelStateManager: bogus id=%d\n", id);
    return;
  }
  if (QWidget* dialog = DspParametersDialog()) SetGUI_DSPMicFX(dialog, 0);
}

void SetGUI_MicFX(QWidget* panel) {
  if (!panel) return;
  const VoiceFX& fx = ShownVoiceFX();
  const bool off = soundBlock.voiceFX.bypass.load() != 0;
  const int preset = fx.presetNumber.load();
  for (const EffectButton& b : kEffectButtons)
    gkButton_SetState(GkGetDlgItem(panel, b.id), !off && b.preset == preset ? 0 : 1);
  gkSlider_SetValue(GkGetDlgItem(panel, kIdEffectVariation), fx.variation.load());
}

void ShowMicrophonePanel(bool show) {
  QWidget* panel = CdPlayerPanel();
  if (!panel) return;
  for (const EffectButton& b : kEffectButtons)
    if (QWidget* w = GkGetDlgItem(panel, b.id)) w->setVisible(show);
  if (QWidget* w = GkGetDlgItem(panel, kIdEffectVariation)) w->setVisible(show);
}

void DestroyMicrophonePanel(QWidget* panel) {
  CloseDspParametersDialog();
  if (!panel) return;
  for (const EffectButton& b : kEffectButtons) delete GkGetDlgItem(panel, b.id);
  delete GkGetDlgItem(panel, kIdEffectVariation);
}
