// Start-up: the program's entry, in a fixed order, then the message loop and the clean-up.
#pragma once

// Runs the program; the exit status (the message loop's quit code, 0 when a second start found
// the first, 0 when the main window cannot be created, -1 when its class cannot be registered
// or the settings cannot be loaded).
int WinMain(int argc, char** argv);
