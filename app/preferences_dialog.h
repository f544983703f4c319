// The modal "Karaoke Preferences" dialog (template 157, a Qt Designer form): the CD drive, the
// CD read quality, the CDDB server, the CD information folder, the web browser and the splash
// screen on its first page; the title and lyrics services, the singer's monitoring and latency
// and the text editor and volume control programs on its second.
//
// Every way of closing it (OK, Escape, the window's close) applies what it shows, saves the
// settings and ends it with 1; a CD information folder that does not exist keeps it open.
// Changing the drive stops a playing disc, waits for the reader (a bounded while) and leaves
// the player without a disc, so that its next tick scans the new drive.
#pragma once

class QWidget;

// Runs the dialog on the window thread; returns 1.
int RunPreferencesDialog(QWidget* owner);

// A control of the dialog by its control id (first page), or null.
QWidget* FindPreferencesControl(QWidget* dialog, int id);

// How long a drive change waits for the reader to end (tests shorten it); 0 restores the
// default.
void SetDriveChangeReaderWait(int milliseconds);
