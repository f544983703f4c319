// Output files that are either complete or absent. A file is written under a temporary name in
// its own folder (".<name>.<random>.part", created exclusively, so two writers never share it)
// and renamed over its destination only when every write and the close have succeeded. A
// failure, a crash or a kill leaves the destination as it was: the old file or none. Every
// writer of finished files (rips, renders, recordings, CD information files) goes through it.
//
// One thread writes at a time; a writer handed to another thread is handed over with a join
// or a lock, as the ripper's writer threads are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // an uncommitted file is abandoned
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file for path. False, with the reason in Error(), when the folder
  // cannot take it or path names something other than a regular file (a device, a folder).
  // inPlace writes path itself, for a file that is watched while it grows (the simulated
  // card's speakers); Commit then only closes it and Abandon leaves what was written.
  bool Create(const std::string& path, bool inPlace = false);
  bool IsOpen() const { return fd_ >= 0; }
  int Descriptor() const { return fd_; }

  // Write appends, WriteAt writes at a byte position; both write every byte or fail. The first
  // failure is kept and Commit then refuses.
  bool Write(const void* data, size_t size);
  bool WriteAt(int64_t position, const void* data, size_t size);
  // A failure found by a caller that wrote through Descriptor() itself.
  void NoteFailure(const std::string& reason);
  bool Failed() const { return !error_.empty(); }
  int64_t Size() const;  // bytes in the file now, -1 when unknown

  // Closes the file and renames it over the destination. False, the temporary file removed and
  // the destination untouched, when a write, the close or the rename failed.
  bool Commit();
  // Closes and removes the temporary file; the destination stays as it was.
  void Abandon();

  const std::string& Path() const { return path_; }
  const std::string& TemporaryPath() const { return temporary_; }
  // The first failure ("" when none): what failed and the system's reason.
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const std::string& what, int error);

  int fd_ = -1;
  bool inPlace_ = false;
  std::string path_;
  std::string temporary_;
  std::string error_;
};

// Writes data as the whole file at path through an OutputFile. False, with the reason in
// *error when given, when it could not be written completely (the old file is then kept).
bool WriteFileAtomically(const std::string& path, std::string_view data,
                         std::string* error = nullptr);

// Whether a file could be written at path: a trial temporary file is created and removed. False
// with the reason.
bool CheckOutputPath(const std::string& path, std::string* error);

// Whether both paths name the same existing file (links followed). An output that is one of a
// command's inputs is refused with it.
bool SameExistingFile(const std::string& a, const std::string& b);
