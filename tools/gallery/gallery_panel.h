// One panel of the gallery: the main window's template loaded through the toolkit's class
// registry, every widget configured with the skin, and a little life (a playing track, level
// meters and the ring of lights) driven by a periodic timer thread.
#pragma once

#include <QObject>
#include <QWidget>
#include <memory>

class PeriodicTimer;

struct GalleryPanelSetup {
  bool lyricsInFront = false;  // which lower panel shows
  bool playing = true;
  int track = 3;
  int seconds = 94;
  int effect = 0;  // the pressed voice effect, -1 for none
};

class GalleryPanel : public QObject {
 public:
  // Loads and configures a panel as a child of parent; Ok() tells whether it worked.
  GalleryPanel(QWidget* parent, const GalleryPanelSetup& setup);
  ~GalleryPanel() override;

  bool Ok() const { return panel_ != nullptr; }
  QWidget* Panel() const { return panel_; }
  // Advances the animation by one 63 ms tick (also called by the timer).
  void Tick();

  // Widget callbacks land here; they find their panel through the widget with the focus.
  static GalleryPanel* Of(QWidget* widget);
  void OnButton(int id);
  void OnTab(int index);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* Item(int id) const;
  void ConfigureButtons();
  void ConfigureRing();
  void ConfigureDisplay();
  void ConfigureMixer();
  void ConfigureLowerPanels();
  void ConfigurePopups();
  void ShowTime();
  void ShowTrack();
  void ShowLowerPanel(bool lyrics);
  void StepRing();

  QWidget* panel_ = nullptr;
  GalleryPanelSetup setup_;
  std::unique_ptr<PeriodicTimer> timer_;
  int tick_ = 0;
  int ringStart_ = 0;
  int blink_ = 0;
  int blinkPhase_ = 0;
  int trackSeconds_ = 241;
};
