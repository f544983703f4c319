// The modal "Karaoke Preferences" dialog (template 157) the commands open. This is its
// "Internet Browser" group (the program's path with a "Browse.." button); the dialog's other
// groups come with the preferences work.
#pragma once

class QWidget;

// Runs the dialog; OK stores the browser and saves the settings. Returns 1 when it ended.
int RunPreferencesDialog(QWidget* owner);
