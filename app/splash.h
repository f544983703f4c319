// The splash: the picture (432 x 288) with, for the processors that get the 3DNow! kernels,
// the badge at its right edge. It ends after 5 s (window timer 207 on the main window) or at
// once on any key, a left or right mouse button, or a close request.
#pragma once

#include <QWidget>

inline constexpr int kSplashTemplate = 207;
inline constexpr int kSplashBadgeTemplate = 333;
inline constexpr int kSplashPictureBitmap = 271;
inline constexpr int kSplashBadgeBitmap = 332;
inline constexpr int kSplashMs = 5000;

// Creates and shows the splash (template 207 or 333) owned by the main window; null when it
// cannot be made. modal: the About box of the Help menu (runs until it ends).
QWidget* CreateSplash(QWidget* owner, int templateId, bool modal = false);
// The template the processor asks for: 333 with vector class 2, else 207.
int SplashTemplateForProcessor();
// Ends the splash: hidden and released.
void EndSplash(QWidget* splash);
// Timer 207: ends and forgets the splash, repaints the lyrics panel's text areas, kills the
// timer ("SplashScreenShutdownProc: KillTimer(IDD_ABOUT) failed\n" when it was not set).
void SplashScreenShutdownProc();
