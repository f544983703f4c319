// The help page compiled into the program: one HTML file, ":/help/sorn-karaoke-help.html".
#pragma once

inline constexpr const char* kHelpPageResource = ":/help/sorn-karaoke-help.html";

// Makes the compiled-in help page available; repeat calls are harmless.
void InitHelpResources();
