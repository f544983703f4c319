#include "app/dsp_dialog.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "app/audio_context.h"
#include "audio/karaoke_stage.h"
#include "audio/sound_block.h"
#include "diagnostics/diagnostics.h"
#include "dsp/voicefx.h"
#include "resources/templates/templates.h"
#include "widgets/framework.h"
#include "widgets/template_loader.h"

namespace {

QPointer<QDialog> dspDialog;

// Where a slider and edit pair sends its value.
enum class Target { kBalance, kVoiceFX, kKaraoke };

struct SliderEdit {
  int slider;
  int edit;
  AudioParameter range;
  Target target;
  int which;  // the VoiceFXParameter or KaraokeParameter
  float (*shown)();
};

constexpr int kFxLevelEdit = 1198;

constexpr SliderEdit kSliderEdits[] = {
    {1119, 1118, kParamStereoBalance, Target::kBalance, 0,
     [] { return soundBlock.balance.load(); }},
    {1199, kFxLevelEdit, kParamFxLevel, Target::kVoiceFX, kVoiceFXGain,
     [] { return ShownVoiceFX().fxGain; }},
    {1205, 1204, kParamFxMixPercent, Target::kVoiceFX, kVoiceFXMixPercent,
     [] { return ShownVoiceFX().mixPercent; }},
    {1133, 1132, kParamCrossoverFrequency, Target::kKaraoke, kKaraokeCrossoverFrequency,
     [] { return KaraokeParameterValue(kKaraokeCrossoverFrequency); }},
    {1140, 1139, kParamVoiceReduce, Target::kKaraoke, kKaraokeVoiceReduce,
     [] { return KaraokeParameterValue(kKaraokeVoiceReduce); }},
    {1145, 1144, kParamBassReplaceDB, Target::kKaraoke, kKaraokeBassReplaceDB,
     [] { return KaraokeParameterValue(kKaraokeBassReplaceDB); }},
    {1125, 1124, kParamAmbienceDelay, Target::kVoiceFX, kVoiceFXEchoDelay,
     [] { return ShownVoiceFX().echo[0].delayTime; }},
    {1128, 1127, kParamFeedback, Target::kVoiceFX, kVoiceFXEchoFeedback,
     [] { return ShownVoiceFX().echo[0].feedback; }},
    {1156, 1155, kParamReverbDecay, Target::kVoiceFX, kVoiceFXReverbDecay,
     [] { return ShownVoiceFX().reverb.decayTime; }},
    {1159, 1158, kParamReverbDamping, Target::kVoiceFX, kVoiceFXReverbDamping,
     [] { return static_cast<float>(ShownVoiceFX().reverb.combs[0][0].damping.frequency); }},
    {1162, 1161, kParamReverbInputFilter, Target::kVoiceFX, kVoiceFXReverbHiFrequency,
     [] { return static_cast<float>(ShownVoiceFX().reverb.inputFilter.frequency); }},
    {1131, 1130, kParam2ndFxDelay, Target::kVoiceFX, kVoiceFXBankDelay,
     [] { return ShownVoiceFX().bank[0][0].delayTime; }},
    {1147, 1146, kParamFeedback, Target::kVoiceFX, kVoiceFXBankFeedback,
     [] { return ShownVoiceFX().bank[0][0].feedback; }},
    {1150, 1149, kParamMidiNote, Target::kVoiceFX, kVoiceFXMidiNote,
     [] { return static_cast<float>(ShownVoiceFX().midiNote); }},
    {1153, 1151, kParam2ndFxDecay, Target::kVoiceFX, kVoiceFXBankDecay,
     [] { return ShownVoiceFX().resonatorDecay; }},
    {1170, 1169, kParamStereoGeneratorFrequency, Target::kKaraoke, kStereoGeneratorFrequency,
     [] { return KaraokeParameterValue(kStereoGeneratorFrequency); }},
    {1181, 1180, kParamStereoGeneratorBands, Target::kKaraoke, kStereoGeneratorBands,
     [] { return KaraokeParameterValue(kStereoGeneratorBands); }},
};

struct CheckBox {
  int id;
  void (*apply)(bool checked);
  bool (*shown)();
};

constexpr CheckBox kCheckBoxes[] = {
    {1154, [](bool on) { SetMicFilterSwitch(kMicHighPass, on); },
     [] { return soundBlock.micHighPassOn.load() != 0; }},
    {1166, [](bool on) { SetMicFilterSwitch(kMicNotch60, on); },
     [] { return soundBlock.notch60On.load() != 0; }},
    {1164, [](bool on) { SetMicFilterSwitch(kMicNotch120, on); },
     [] { return soundBlock.notch120On.load() != 0; }},
    {1165, [](bool on) { SetKaraokeParameter(kKaraokeUseButterworth, on ? 1.0f : 0.0f); },
     [] { return KaraokeParameterValue(kKaraokeUseButterworth) != 0.0f; }},
};

struct Radio {
  int id;
  int order;
};

// "Off", "N2", "N4", "N16".
constexpr Radio kCenterRadios[] = {{1141, 0}, {1136, 2}, {1135, 4}, {1137, 16}};
// "Off", "N03", "N05", "N11", "N31"; "N02" (1177) stands in the group with no order of its own.
constexpr Radio kStereoRadios[] = {{1173, 0}, {1175, 3}, {1176, 5}, {1178, 11}, {1183, 31}};
constexpr int kStereoRadioN02 = 1177;
constexpr int kStereoGeneratorOrders[] = {3, 5, 7, 11, 21, 31};

// The dialog's controls sit in group boxes: its items are found among all its descendants.
QWidget* Item(QWidget* dialog, int id) {
  if (!dialog) return nullptr;
  for (QWidget* w : dialog->findChildren<QWidget*>())
    if (GkGetControlId(w) == id) return w;
  return nullptr;
}

template <typename T>
T* ItemAs(QWidget* dialog, int id) {
  return qobject_cast<T*>(Item(dialog, id));
}

QString FormatValue(float value) {
  return QString::asprintf("%g", static_cast<double>(value));
}

void Apply(const SliderEdit& c, float value) {
  switch (c.target) {
    case Target::kBalance:
      SetMusicBalance(value);
      break;
    case Target::kVoiceFX:
      RequestVoiceFXChange(static_cast<VoiceFXParameter>(c.which), value);
      break;
    case Target::kKaraoke:
      SetKaraokeParameter(static_cast<KaraokeParameter>(c.which), value);
      break;
  }
}

void SetSliderQuietly(QSlider* slider, const ParameterRange& range, float value) {
  if (!slider) return;
  const QSignalBlocker quiet(slider);
  slider->setValue(PositionFromParameter(range, value));
}

// An edit box's text as a value of the range: empty text gives the minimum, otherwise the
// number it starts with (0 when there is none), kept to the range. *writeBack is set when the
// box should be written with the value (it was empty, not wholly a number, or out of range).
float ReadEditValue(const QString& text, const ParameterRange& range, bool* writeBack) {
  const std::string s = text.left(100).trimmed().toStdString();
  *writeBack = true;
  if (s.empty()) return range.minimum;
  const char* begin = s.c_str() + (s[0] == '+' ? 1 : 0);
  const char* end = s.c_str() + s.size();
  double number = 0.0;
  const auto [stop, error] = std::from_chars(begin, end, number);
  if (error != std::errc() || !std::isfinite(number)) number = 0.0;
  const float value = std::clamp(static_cast<float>(number), range.minimum, range.maximum);
  *writeBack = error != std::errc() || stop != end || value != static_cast<float>(number);
  return value;
}

void OnSliderMoved(QWidget* dialog, const SliderEdit& c, int position) {
  const float value = ParameterFromPosition(audioContext.ranges[c.range], position);
  if (QLineEdit* edit = ItemAs<QLineEdit>(dialog, c.edit))
    edit->setText(FormatValue(value).left(6));
  Apply(c, value);
}

void OnEditDone(QWidget* dialog, const SliderEdit& c) {
  QLineEdit* edit = ItemAs<QLineEdit>(dialog, c.edit);
  if (!edit) return;
  const ParameterRange& range = audioContext.ranges[c.range];
  bool writeBack = false;
  const float value = ReadEditValue(edit->text(), range, &writeBack);
  if (writeBack) edit->setText(FormatValue(value));
  SetSliderQuietly(ItemAs<QSlider>(dialog, c.slider), range, value);
  Apply(c, value);
  if (c.edit == kFxLevelEdit) Trace("OnCommand id=IDC_TEXT_FXLEVEL fxGain=%g\n", value);
}

// Checks the radio of checkedId and clears the others of the group (none is checked when no
// radio has that id).
template <size_t N>
void CheckRadio(QWidget* dialog, const Radio (&radios)[N], int checkedId, int extraId = 0) {
  auto set = [dialog, checkedId](int id) {
    QAbstractButton* button = ItemAs<QAbstractButton>(dialog, id);
    if (!button) return;
    // An exclusive radio refuses to be cleared: it is taken out of its group for the change.
    const bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(id == checkedId);
    button->setAutoExclusive(exclusive);
  };
  for (const Radio& r : radios) set(r.id);
  if (extraId) set(extraId);
}

template <size_t N>
int RadioOfOrder(const Radio (&radios)[N], int order) {
  for (const Radio& r : radios)
    if (r.order == order) return r.id;
  return 0;
}

bool IsStereoGeneratorOrder(int order) {
  return std::find(std::begin(kStereoGeneratorOrders), std::end(kStereoGeneratorOrders), order) !=
         std::end(kStereoGeneratorOrders);
}

void ShowStereoGeneratorOrder(QWidget* dialog) {
  const int order = static_cast<int>(KaraokeParameterValue(kStereoGeneratorOrder));
  const bool on = soundBlock.stereoGeneratorOn.load() != 0 && IsStereoGeneratorOrder(order);
  CheckRadio(dialog, kStereoRadios, RadioOfOrder(kStereoRadios, on ? order : 0), kStereoRadioN02);
}

// A karaoke parameter requested only when it changes: requesting the same order again would
// redesign the filters for nothing.
void RequestKaraokeChange(KaraokeParameter which, float value) {
  if (KaraokeParameterValue(which) != value) SetKaraokeParameter(which, value);
}

void Connect(QDialog* dialog) {
  for (const SliderEdit& c : kSliderEdits) {
    if (QSlider* slider = ItemAs<QSlider>(dialog, c.slider)) {
      slider->setTickInterval(10);
      slider->setPageStep(1);
      QObject::connect(slider, &QSlider::valueChanged, dialog,
                       [dialog, &c](int position) { OnSliderMoved(dialog, c, position); });
    }
    if (QLineEdit* edit = ItemAs<QLineEdit>(dialog, c.edit))
      QObject::connect(edit, &QLineEdit::editingFinished, dialog,
                       [dialog, &c] { OnEditDone(dialog, c); });
  }
  for (const CheckBox& c : kCheckBoxes) {
    if (QAbstractButton* box = ItemAs<QAbstractButton>(dialog, c.id))
      QObject::connect(box, &QAbstractButton::clicked, dialog, [&c](bool on) { c.apply(on); });
  }
  for (const Radio& r : kCenterRadios) {
    if (QAbstractButton* radio = ItemAs<QAbstractButton>(dialog, r.id))
      QObject::connect(radio, &QAbstractButton::clicked, dialog,
                       [dialog, &r] { SetCenterFilterOrder(dialog, r.order); });
  }
  for (const Radio& r : kStereoRadios) {
    if (QAbstractButton* radio = ItemAs<QAbstractButton>(dialog, r.id))
      QObject::connect(radio, &QAbstractButton::clicked, dialog,
                       [dialog, &r] { SetStereoGeneratorOrder(dialog, r.order); });
  }
  // "N02" changes nothing: the group goes back to showing the order in use.
  if (QAbstractButton* radio = ItemAs<QAbstractButton>(dialog, kStereoRadioN02))
    QObject::connect(radio, &QAbstractButton::clicked, dialog,
                     [dialog] { ShowStereoGeneratorOrder(dialog); });
  if (auto* buttons = dialog->findChild<QDialogButtonBox*>())
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  // Return belongs to the edit boxes: no button of the dialog takes it.
  for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }
}

}  // namespace

void OpenDspParametersDialog(QWidget* owner) {
  if (dspDialog) {
    dspDialog->raise();
    dspDialog->activateWindow();
    return;
  }
  InitTemplateResources();
  QWidget* loaded = GkLoadTemplate(kDspParametersTemplate, owner);
  if (!loaded) return;  // the loader said why
  auto* dialog = qobject_cast<QDialog*>(loaded);
  if (!dialog) {
    delete loaded;
    Trace("OpenDspParametersDialog: the template %s is not a dialog\n", kDspParametersTemplate);
    return;
  }
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setModal(false);
  dspDialog = dialog;
  Connect(dialog);
  SetGUI_DSPMicFX(dialog, 0);
  dialog->show();
}

QWidget* DspParametersDialog() {
  return dspDialog;
}

void CloseDspParametersDialog() {
  if (dspDialog) dspDialog->close();
}

void SetGUI_DSPMicFX(QWidget* dialog, int) {
  if (!dialog) {
    Trace("SetGUI_DSPMicFX: Uh oh.  w=NULL\n");
    return;
  }
  for (const SliderEdit& c : kSliderEdits) {
    const float value = c.shown();
    if (QLineEdit* edit = ItemAs<QLineEdit>(dialog, c.edit)) edit->setText(FormatValue(value));
    SetSliderQuietly(ItemAs<QSlider>(dialog, c.slider), audioContext.ranges[c.range], value);
  }
  for (const CheckBox& c : kCheckBoxes) {
    if (QAbstractButton* box = ItemAs<QAbstractButton>(dialog, c.id)) box->setChecked(c.shown());
  }
  SetCenterFilterOrder(dialog, static_cast<int>(KaraokeParameterValue(kKaraokeCrossoverOrder)));
  SetStereoGeneratorOrder(dialog, static_cast<int>(KaraokeParameterValue(kStereoGeneratorOrder)));
}

void SetCenterFilterOrder(QWidget* dialog, int order) {
  RequestKaraokeChange(kKaraokeCrossoverOrder, static_cast<float>(order));
  const int radio = RadioOfOrder(kCenterRadios, order);
  CheckRadio(dialog, kCenterRadios, radio ? radio : RadioOfOrder(kCenterRadios, 0));
}

void SetStereoGeneratorOrder(QWidget* dialog, int order) {
  RequestKaraokeChange(kStereoGeneratorOrder, static_cast<float>(order));
  soundBlock.stereoGeneratorOn.store(IsStereoGeneratorOrder(order) ? 1 : 0);
  ShowStereoGeneratorOrder(dialog);
}
