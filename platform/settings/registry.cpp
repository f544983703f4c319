#include "platform/settings/registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <cstdlib>

namespace {

QString GroupOf(const std::string& keyPath) {
  QString group = QString::fromStdString(keyPath);
  group.replace('\\', '/');
  return group;
}

// QSettings accepts almost any text as INI; a file is taken as damaged when it holds bytes
// no text editor would write (NUL) or QSettings reports a format error.
bool LooksDamaged(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  return file.readAll().contains('\0');
}

std::string ConfigBase() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return xdg;
  if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config";
  return std::string(".");
}

}  // namespace

std::string RegistryFilePath() {
  if (const char* dir = std::getenv("SORN_CONFIG_DIR"); dir && *dir)
    return std::string(dir) + "/sorn-karaoke.ini";
  return ConfigBase() + "/sorn-karaoke/sorn-karaoke.ini";
}

struct RegistryKey::Impl {
  std::unique_ptr<QSettings> settings;
  QString group;
};

RegistryKey::RegistryKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
RegistryKey::~RegistryKey() = default;

std::unique_ptr<RegistryKey> RegistryKey::CreateOrOpen(const std::string& keyPath, bool* created,
                                                       RegistryStatus* status) {
  const QString path = QString::fromStdString(RegistryFilePath());
  QDir().mkpath(QFileInfo(path).absolutePath());
  RegistryStatus result = RegistryStatus::kOk;
  QFileInfo info(path);
  if (info.exists() && (!info.isFile() || !info.isReadable())) {
    result = RegistryStatus::kUnreadable;
  } else if (info.exists() && LooksDamaged(path)) {
    result = RegistryStatus::kCorrupt;
  }
  auto impl = std::make_unique<Impl>();
  if (result == RegistryStatus::kOk) {
    impl->settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    if (impl->settings->status() == QSettings::FormatError) result = RegistryStatus::kCorrupt;
    if (impl->settings->status() == QSettings::AccessError) result = RegistryStatus::kUnreadable;
  }
  if (result != RegistryStatus::kOk) {
    // Keep the damaged file for the user, then start from an empty one.
    impl->settings.reset();
    if (info.isFile()) {
      QFile::remove(path + ".bad");
      QFile::rename(path, path + ".bad");
    }
    impl->settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
  }
  if (status) *status = result;
  impl->group = GroupOf(keyPath);
  impl->settings->beginGroup(impl->group);
  const bool isNew = impl->settings->childKeys().isEmpty();
  if (created) *created = isNew;
  return std::unique_ptr<RegistryKey>(new RegistryKey(std::move(impl)));
}

bool RegistryKey::Read(const std::string& name, std::string* value) const {
  const QString key = QString::fromStdString(name);
  if (!impl_->settings->contains(key)) return false;
  *value = impl_->settings->value(key).toString().toStdString();
  return true;
}

void RegistryKey::Write(const std::string& name, const std::string& value) {
  impl_->settings->setValue(QString::fromStdString(name), QString::fromStdString(value));
}

void RegistryKey::Delete(const std::string& name) {
  impl_->settings->remove(QString::fromStdString(name));
}

bool RegistryKey::Flush() {
  impl_->settings->sync();
  return impl_->settings->status() == QSettings::NoError;
}
