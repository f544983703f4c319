// The bundled demo disc's CD information file. The build writes it beside the demo disc's
// image ("<album title> <disc id>.txt", with titles and a few lines of lyrics per track); the
// program copies it into the CD information folder the first time it meets that disc, before
// the disc's information file is loaded, so the demo disc shows its titles and lyrics without
// a CDDB lookup. A file the user already has for the disc is never replaced.
#pragma once

#include <string>

// Copies the demo disc's information file for discId into the CD information folder when the
// folder has no file for that disc id yet. 1 when a file was installed, 0 otherwise (not the
// demo disc, or a file is already there, or the copy failed: traced).
int InstallDemoDiscInfo(const std::string& discId);
