// Start-up processor identification: fills the processor record and vector class, then
// writes the clock rate, display name and computer name to the log file.
#pragma once

void IdentifyProcessor();
// The platform family the program runs on behaves as the NT line (protected, multi-user).
bool IsWindowsNT();
