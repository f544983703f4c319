#include "cdinfo/musicbrainz_disc_id.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <algorithm>
#include <cstdio>

MusicBrainzToc MusicBrainzTocOf(const DiscLayout& layout) {
  MusicBrainzToc toc;
  int count = std::clamp(layout.trackCount, 0, 99);
  int leadOut = 0;
  if (count > 0) {
    const int last = count - 1;
    leadOut = cdinfo::MsfToFrames(layout.position[last]) + cdinfo::MsfToFrames(layout.length[last]);
  }
  while (count > 0 && layout.dataTrack[count - 1]) {
    leadOut = cdinfo::MsfToFrames(layout.position[count - 1]) - kSessionGapSectors;
    --count;
  }
  if (count == 0) return toc;
  toc.firstTrack = 1;
  toc.lastTrack = count;
  toc.leadOut = std::max(leadOut, 0);
  for (int i = 0; i < count; ++i) toc.offsets[i] = cdinfo::MsfToFrames(layout.position[i]);
  return toc;
}

std::string MusicBrainzDiscId(const MusicBrainzToc& toc) {
  if (toc.lastTrack < toc.firstTrack || toc.firstTrack < 1) return std::string();
  // The hashed text: first and last track as 2 hex digits, then the lead-out and 99 track
  // starts (0 for tracks the disc does not have) as 8, upper case.
  char text[2 + 2 + 100 * 8 + 1];
  int n = std::snprintf(text, sizeof text, "%02X%02X%08X", toc.firstTrack, toc.lastTrack,
                        static_cast<unsigned>(toc.leadOut));
  for (int track = 1; track <= 99; ++track) {
    const bool present = track >= toc.firstTrack && track <= toc.lastTrack;
    const unsigned offset =
        present ? static_cast<unsigned>(toc.offsets[track - toc.firstTrack]) : 0;
    n += std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "%08X", offset);
  }
  const QByteArray digest = QCryptographicHash::hash(QByteArray(text, n), QCryptographicHash::Sha1);
  QByteArray id = digest.toBase64();
  id.replace('+', '.').replace('/', '_').replace('=', '-');
  return id.toStdString();
}

std::string MusicBrainzTocParameter(const MusicBrainzToc& toc) {
  if (toc.lastTrack < toc.firstTrack || toc.firstTrack < 1) return std::string();
  std::string text;
  const auto append = [&text](int value) {
    if (!text.empty()) text += '+';
    text += std::to_string(value);
  };
  append(toc.firstTrack);
  append(toc.lastTrack);
  append(toc.leadOut);
  for (int track = toc.firstTrack; track <= toc.lastTrack; ++track)
    append(toc.offsets[track - toc.firstTrack]);
  return text;
}
