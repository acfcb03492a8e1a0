// Replacing a file in one step: the new contents go to a staged file beside
// the destination, which is renamed over it only once they are complete, so
// a failed or cut-off write never leaves a damaged or missing file.
//
// The replacement keeps the destination's identity: an existing file's
// permission bits (and, where allowed, owner and group) carry over, a new file
// gets 0666 less the umask, and a destination that is a symbolic link keeps
// the link while the file it points to is replaced.
#pragma once

#include <cstdio>
#include <string>

namespace zepcon {

class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();  // an uncommitted staged file is removed

  // Creates the staged file beside the file `destination` names. False when
  // the folder cannot take it; Error() says why and nothing was touched.
  bool Open(const std::string& destination);

  // The staged file, open for binary writing; nullptr unless Open succeeded.
  FILE* File() const { return file_; }

  // Flushes the staged file to disk and renames it over the destination.
  // False (with Error()) when any step failed; the old file is then intact
  // and the staged file gone.
  bool Commit();

  // Drops the staged file; the destination stays as it was.
  void Discard();

  // The file that is replaced: the destination, or the file its links name.
  const std::string& Target() const { return target_; }
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const std::string& what, int error_number);

  std::string target_;
  std::string staged_;
  std::string error_;
  FILE* file_ = nullptr;
};

// Writes `size` bytes as the whole new contents of `destination` through an
// AtomicFile. False, with the reason in `error` when given, on failure.
bool WriteFileAtomically(const std::string& destination, const void* data, size_t size,
                         std::string* error = nullptr);

}  // namespace zepcon
