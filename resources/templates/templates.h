// The dialog templates compiled into the program (Qt Designer forms, loaded with the toolkit's
// template loader like the main window's).
#pragma once

// The "Karaoke Preferences" dialog (template 157).
inline constexpr const char* kPreferencesTemplate = ":/templates/preferences.ui";

// Makes the compiled-in templates available; repeat calls are harmless.
void InitTemplateResources();
