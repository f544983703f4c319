#include "platform/files/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace {

constexpr int kNameAttempts = 100;
constexpr size_t kMaxNameBytes = 255;

std::string FolderPart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NamePart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RandomSuffix(std::mt19937_64& random) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string suffix(8, 'a');
  for (char& c : suffix) c = kLetters[random() % (sizeof kLetters - 1)];
  return suffix;
}

}  // namespace

OutputFile::~OutputFile() {
  Abandon();
}

bool OutputFile::Fail(const std::string& what, int error) {
  if (error_.empty()) error_ = what + ": " + std::strerror(error);
  return false;
}

bool OutputFile::Create(const std::string& path, bool inPlace) {
  Abandon();
  error_.clear();
  path_ = path;
  inPlace_ = inPlace;
  const std::string name = NamePart(path);
  if (name.empty() || name == "." || name == "..") return Fail("cannot write " + path, EISDIR);
  struct stat existing;
  const bool exists = ::stat(path.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) {
    error_ = "cannot write " + path + ": not a regular file";
    return false;
  }
  // The name must fit the folder's file system: the rename at the end would refuse it.
  const std::string folder = FolderPart(path).empty() ? "." : FolderPart(path);
  const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  const size_t maxName = limit > 0 ? static_cast<size_t>(limit) : kMaxNameBytes;
  if (name.size() > maxName) return Fail("cannot write " + path, ENAMETOOLONG);
  if (inPlace) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd_ >= 0 || Fail("cannot write " + path, errno);
  }
  std::random_device seed;
  std::mt19937_64 random((static_cast<uint64_t>(seed()) << 32) ^ seed() ^ ::getpid());
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    // The temporary name is no longer than the name allowed for the file itself.
    const std::string candidate = FolderPart(path) + "." +
                                  name.substr(0, std::min(name.size(), maxName - 15)) + "." +
                                  RandomSuffix(random) + ".part";
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = fd;
      temporary_ = candidate;
      // A replaced file keeps its permissions.
      if (exists) ::fchmod(fd_, existing.st_mode & 07777);
      return true;
    }
    if (errno != EEXIST) return Fail("cannot create a file beside " + path, errno);
  }
  return Fail("cannot create a file beside " + path, EEXIST);
}

bool OutputFile::Write(const void* data, size_t size) {
  if (fd_ < 0) return Fail("cannot write " + path_, EBADF);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd_, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail("cannot write " + path_, n < 0 ? errno : ENOSPC);
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool OutputFile::WriteAt(int64_t position, const void* data, size_t size) {
  if (fd_ < 0) return Fail("cannot write " + path_, EBADF);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::pwrite(fd_, bytes, size, position);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail("cannot write " + path_, n < 0 ? errno : ENOSPC);
    bytes += n;
    position += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void OutputFile::NoteFailure(const std::string& reason) {
  if (error_.empty()) error_ = reason;
}

int64_t OutputFile::Size() const {
  struct stat info;
  if (fd_ < 0 || ::fstat(fd_, &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

bool OutputFile::Commit() {
  if (fd_ < 0) {
    if (error_.empty()) error_ = "cannot write " + path_ + ": the file is not open";
    return false;
  }
  // A file system may report a failed write only at the close (a full disk over NFS).
  const int closed = ::close(fd_);
  const int closeError = errno;
  fd_ = -1;
  if (closed != 0) Fail("cannot write " + path_, closeError);
  if (inPlace_) return !Failed();
  if (Failed() || ::rename(temporary_.c_str(), path_.c_str()) != 0) {
    if (!Failed()) Fail("cannot put " + path_ + " in place", errno);
    ::unlink(temporary_.c_str());
    temporary_.clear();
    return false;
  }
  temporary_.clear();
  return true;
}

void OutputFile::Abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* error) {
  OutputFile file;
  const bool ok = file.Create(path) && file.Write(data.data(), data.size()) && file.Commit();
  if (!ok && error) *error = file.Error();
  return ok;
}

bool CheckOutputPath(const std::string& path, std::string* error) {
  OutputFile trial;
  if (trial.Create(path)) return true;
  *error = trial.Error();
  return false;
}

bool SameExistingFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}
