// Message boxes as Qt dialogs: the exact texts and captions, the platform's buttons and icons.
// A system-modal box is application-modal here. A box asked for on another thread is shown on
// the window thread, and the asking thread waits for its answer.
#pragma once

#include <string>

#include "diagnostics/diagnostics.h"

class QtMessageBoxPresenter : public MessageBoxPresenter {
 public:
  int Show(void* owner, const std::string& caption, const std::string& text,
           unsigned flags) override;
};

// Installs a QtMessageBoxPresenter for the program's life.
void InstallQtMessageBoxes();
