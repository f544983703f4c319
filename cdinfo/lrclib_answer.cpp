#include "cdinfo/lrclib_answer.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cmath>

namespace {

// Integers beyond this are not exact in a JSON number (a double).
constexpr double kMaxExactId = 9007199254740991.0;

std::string Text(const QJsonObject& object, const char* name) {
  const QJsonValue value = object.value(QLatin1String(name));
  return value.isString() ? value.toString().toStdString() : std::string();
}

bool FromObject(const QJsonObject& object, LrclibRecord* record) {
  const QJsonValue id = object.value(QLatin1String("id"));
  const double number = id.isDouble() ? id.toDouble() : 0;
  if (!(number >= 1 && number <= kMaxExactId) || std::floor(number) != number) return false;
  record->id = static_cast<int64_t>(number);
  record->trackName = Text(object, "trackName");
  record->artistName = Text(object, "artistName");
  record->albumName = Text(object, "albumName");
  const QJsonValue duration = object.value(QLatin1String("duration"));
  record->duration =
      duration.isDouble() && std::isfinite(duration.toDouble()) ? duration.toDouble() : 0;
  record->instrumental = object.value(QLatin1String("instrumental")).toBool(false);
  record->plainLyrics = Text(object, "plainLyrics");
  record->syncedLyrics = Text(object, "syncedLyrics");
  return true;
}

bool Parse(std::string_view body, QJsonDocument* document, std::string* error) {
  QJsonParseError parseError;
  *document = QJsonDocument::fromJson(QByteArray(body.data(), static_cast<qsizetype>(body.size())),
                                      &parseError);
  if (parseError.error != QJsonParseError::NoError) {
    *error = "not JSON (" + parseError.errorString().toStdString() + " at byte " +
             std::to_string(parseError.offset) + ")";
    return false;
  }
  return true;
}

}  // namespace

bool ParseLrclibRecord(std::string_view body, LrclibRecord* record, std::string* error) {
  *record = LrclibRecord{};
  QJsonDocument document;
  if (!Parse(body, &document, error)) return false;
  if (!document.isObject()) {
    *error = "not a lyrics record";
    return false;
  }
  if (!FromObject(document.object(), record)) {
    *error = "a lyrics record without an id";
    return false;
  }
  return true;
}

bool ParseLrclibList(std::string_view body, std::vector<LrclibRecord>* records,
                     std::string* error) {
  records->clear();
  QJsonDocument document;
  if (!Parse(body, &document, error)) return false;
  if (!document.isArray()) {
    *error = "not a list of lyrics records";
    return false;
  }
  for (const QJsonValue& entry : document.array()) {
    LrclibRecord record;
    if (entry.isObject() && FromObject(entry.toObject(), &record))
      records->push_back(std::move(record));
  }
  return true;
}
