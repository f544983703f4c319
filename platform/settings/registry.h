// The settings store ("the registry"): keys holding named string values, kept in an INI file.
//
// The file is $SORN_CONFIG_DIR/sorn-karaoke.ini when that variable is set (tests and headless
// runs point it at a scratch folder), else $XDG_CONFIG_HOME/sorn-karaoke/sorn-karaoke.ini
// (~/.config when XDG_CONFIG_HOME is unset). A key path such as
// "Software\\Sorn & Kelvig\\Sorn Karaoke\\cddb servers" is one group of the file.
#pragma once

#include <memory>
#include <string>

std::string RegistryFilePath();

enum class RegistryStatus {
  kOk,
  kUnreadable,  // the file exists but cannot be read
  kCorrupt,     // the file is not a valid settings file
};

class RegistryKey {
 public:
  ~RegistryKey();
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens the key, creating it when missing. *created tells whether it was new (it holds no
  // values). A file that cannot be read reports its status; the key then starts empty, and
  // the damaged file is moved aside to "<file>.bad" before anything is written over it.
  static std::unique_ptr<RegistryKey> CreateOrOpen(const std::string& keyPath, bool* created,
                                                   RegistryStatus* status = nullptr);

  bool Read(const std::string& name, std::string* value) const;
  void Write(const std::string& name, const std::string& value);
  void Delete(const std::string& name);
  // Writes pending changes to the file. Returns false when the file could not be written.
  bool Flush();

 private:
  struct Impl;
  explicit RegistryKey(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};
