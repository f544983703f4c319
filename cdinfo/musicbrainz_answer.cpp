#include "cdinfo/musicbrainz_answer.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QString>
#include <algorithm>

#include "cdinfo/text_util.h"

namespace {

constexpr size_t kMaxText = kTitleBytes - 1;

std::string Text(const QJsonValue& value) {
  return cdinfo::WithoutControlCharacters(value.toString().toStdString());
}

// An artist credit as written: each name followed by its join phrase ("A", " & ", "B").
std::string CreditText(const QJsonValue& credit) {
  std::string text;
  for (const QJsonValue& part : credit.toArray()) {
    const QJsonObject object = part.toObject();
    QJsonValue name = object.value("name");
    if (!name.isString()) name = object.value("artist").toObject().value("name");
    text += Text(name) + Text(object.value("joinphrase"));
  }
  return text;
}

bool ListsDisc(const QJsonObject& medium, const QString& discId) {
  for (const QJsonValue& disc : medium.value("discs").toArray())
    if (disc.toObject().value("id").toString() == discId) return true;
  return false;
}

// The medium that is this disc: the one listing its id, else the one with as many tracks,
// else the first one with tracks.
QJsonObject DiscMedium(const QJsonArray& media, const QString& discId, int audioTracks) {
  const QJsonObject* sameCount = nullptr;
  const QJsonObject* first = nullptr;
  std::vector<QJsonObject> all;
  all.reserve(static_cast<size_t>(media.size()));
  for (const QJsonValue& value : media) all.push_back(value.toObject());
  for (const QJsonObject& medium : all) {
    const qsizetype tracks = medium.value("tracks").toArray().size();
    if (tracks == 0) continue;
    if (!discId.isEmpty() && ListsDisc(medium, discId)) return medium;
    if (!sameCount && tracks == audioTracks) sameCount = &medium;
    if (!first) first = &medium;
  }
  if (sameCount) return *sameCount;
  return first ? *first : QJsonObject();
}

MusicBrainzTrack TrackOf(const QJsonObject& track) {
  const QJsonObject recording = track.value("recording").toObject();
  MusicBrainzTrack result;
  result.title = Text(track.value("title"));
  if (result.title.empty()) result.title = Text(recording.value("title"));
  result.artist = CreditText(track.value("artist-credit"));
  if (result.artist.empty()) result.artist = CreditText(recording.value("artist-credit"));
  return result;
}

std::string YearOf(const std::string& date) {
  if (date.size() < 4 ||
      !std::all_of(date.begin(), date.begin() + 4, [](char c) { return c >= '0' && c <= '9'; }))
    return std::string();
  return date.substr(0, 4);
}

}  // namespace

MusicBrainzAnswer ParseMusicBrainzAnswer(std::string_view body, const std::string& discId,
                                         int audioTracks, std::vector<MusicBrainzRelease>* releases,
                                         std::string* error) {
  releases->clear();
  error->clear();
  QJsonParseError parseError;
  const QJsonDocument document = QJsonDocument::fromJson(
      QByteArray(body.data(), static_cast<qsizetype>(body.size())), &parseError);
  if (parseError.error != QJsonParseError::NoError) {
    *error = "the answer is not valid JSON (" + parseError.errorString().toStdString() +
             " at byte " + std::to_string(parseError.offset) + ")";
    return MusicBrainzAnswer::kMalformed;
  }
  if (!document.isObject()) {
    *error = "the answer is not a JSON object";
    return MusicBrainzAnswer::kMalformed;
  }
  const QJsonObject answer = document.object();
  const QJsonValue list = answer.value("releases");
  if (list.isUndefined()) return MusicBrainzAnswer::kNoMatch;  // an error object, a stub
  if (!list.isArray()) {
    *error = "the answer's releases are not a list";
    return MusicBrainzAnswer::kMalformed;
  }
  const QString id = QString::fromStdString(discId);
  for (const QJsonValue& value : list.toArray()) {
    if (releases->size() >= kMaxMusicBrainzReleases) break;
    const QJsonObject release = value.toObject();
    const QJsonObject medium = DiscMedium(release.value("media").toArray(), id, audioTracks);
    if (medium.isEmpty()) continue;
    MusicBrainzRelease parsed;
    parsed.title = Text(release.value("title"));
    parsed.artist = CreditText(release.value("artist-credit"));
    parsed.year = YearOf(Text(release.value("date")));
    parsed.country = Text(release.value("country"));
    for (const QJsonValue& track : medium.value("tracks").toArray())
      parsed.tracks.push_back(TrackOf(track.toObject()));
    releases->push_back(std::move(parsed));
  }
  return releases->empty() ? MusicBrainzAnswer::kNoMatch : MusicBrainzAnswer::kReleases;
}

std::string ReleaseChoiceText(const MusicBrainzRelease& release) {
  std::string text = release.title;
  if (!release.artist.empty()) text += " - " + release.artist;
  std::string details = release.year;
  if (!release.country.empty()) details += (details.empty() ? "" : ", ") + release.country;
  if (!details.empty()) text += " (" + details + ")";
  return text;
}

void ApplyReleaseTitles(const MusicBrainzRelease& release, int lastTrack, CdTitles* titles) {
  titles->albumTitle = cdinfo::CutUtf8(release.title, kMaxText);
  titles->albumArtist = cdinfo::CutUtf8(release.artist, kMaxText);
  const int count = std::min(lastTrack + 1, static_cast<int>(release.tracks.size()));
  for (int i = 0; i < std::min(count, kMaxTitleTracks); ++i) {
    const MusicBrainzTrack& track = release.tracks[static_cast<size_t>(i)];
    titles->tracks[i].title = cdinfo::CutUtf8(track.title, kMaxText);
    titles->tracks[i].artist =
        track.artist == release.artist ? std::string() : cdinfo::CutUtf8(track.artist, kMaxText);
  }
}
