// A CD+G screen as an image: what the window shows and what the cdg command writes, so that
// both give the same pixels.
#pragma once

#include <QImage>

#include "cd/cdg_decoder.h"

// The shown 288 x 192 area as a 32-bit ARGB image (the transparent colour with alpha 0).
QImage CdgScreenImage(const CdgScreen& screen);

// For the window: the CD+G screen of the track being played, at the position the listener
// hears (cd/cdg_stream.h), as an image; a null image while there is none. Whether to show it
// is CurrentTrackHasCdg().
QImage CurrentCdgImage();
