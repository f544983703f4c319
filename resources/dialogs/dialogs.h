// The dialogs' Qt Designer forms compiled into the program, ":/dialogs/<template>.ui".
#pragma once

#include <QString>

inline constexpr const char* kDspDialogTemplate = "IDD_DIALOG_DSP";

// The form of a dialog template by its name; the compiled-in forms are made available first
// (repeat calls are harmless).
QString DialogTemplatePath(const char* templateName);
