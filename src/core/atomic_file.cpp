#include "core/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace zepcon {
namespace {

constexpr int kMaxLinkDepth = 40;  // as the kernel's own limit for a path walk
constexpr int kNameAttempts = 100;

std::string FolderPart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows symbolic links until a path that is no link (or does not exist).
// False when the chain loops or a link cannot be read.
bool ResolveLinks(std::string path, std::string* target, int* error_number) {
  for (int depth = 0; depth <= kMaxLinkDepth; ++depth) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      *target = path;
      return true;
    }
    std::string link(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
    const ssize_t length = readlink(path.c_str(), link.data(), link.size());
    if (length < 0 || static_cast<size_t>(length) >= link.size()) {
      *error_number = length < 0 ? errno : ENAMETOOLONG;
      return false;
    }
    link.resize(static_cast<size_t>(length));
    path = link[0] == '/' ? link : FolderPart(path) + link;
  }
  *error_number = ELOOP;
  return false;
}

std::string StagedName(const std::string& folder, std::mt19937_64& random) {
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
  return folder + ".zepcon-" + suffix + ".tmp";
}

}  // namespace

AtomicFile::~AtomicFile() { Discard(); }

bool AtomicFile::Fail(const std::string& what, int error_number) {
  error_ = what + ": " + std::strerror(error_number);
  return false;
}

bool AtomicFile::Open(const std::string& destination) {
  Discard();
  error_.clear();
  int error_number = 0;
  if (destination.empty()) return Fail("no file name", ENOENT);
  if (!ResolveLinks(destination, &target_, &error_number)) return Fail("cannot follow the link " + destination,
                                                                       error_number);
  struct stat old {};
  const bool exists = stat(target_.c_str(), &old) == 0;
  // Renaming over a device, a pipe or a folder would replace it by a plain
  // file; only regular files are ever replaced.
  if (exists && !S_ISREG(old.st_mode)) return Fail(target_ + " is not a regular file", EINVAL);

  std::random_device seed;
  std::mt19937_64 random((uint64_t{seed()} << 32) ^ seed() ^ static_cast<uint64_t>(getpid()));
  const std::string folder = FolderPart(target_);
  int fd = -1;
  for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
    staged_ = StagedName(folder, random);
    // 0666 lets the umask decide a new file's bits, as any other program would.
    fd = open(staged_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    const int reason = errno;
    staged_.clear();
    return Fail("cannot create a file in the folder of " + target_, reason);
  }
  if (exists) {
    // Owner first: changing it may clear set-id bits that the mode restores.
    // Only root may give a file away; others keep the file as theirs.
    if (old.st_uid != geteuid() || old.st_gid != getegid()) {
      const bool given = fchown(fd, old.st_uid, old.st_gid) == 0;
      (void)given;
    }
    if (fchmod(fd, old.st_mode & 07777) != 0) {
      const int reason = errno;
      close(fd);
      Discard();
      return Fail("cannot give the new file the mode of " + target_, reason);
    }
  }
  file_ = fdopen(fd, "wb");
  if (!file_) {
    const int reason = errno;
    close(fd);
    Discard();
    return Fail("cannot write " + staged_, reason);
  }
  return true;
}

bool AtomicFile::Commit() {
  if (!file_) {
    if (error_.empty()) error_ = "nothing staged";
    return false;
  }
  bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
  int reason = errno;
  // On disk before the rename, so a crash never leaves an empty file behind
  // the new name.
  if (ok && fsync(fileno(file_)) != 0) {
    ok = false;
    reason = errno;
  }
  if (std::fclose(file_) != 0 && ok) {
    ok = false;
    reason = errno;
  }
  file_ = nullptr;
  if (!ok) {
    Discard();
    return Fail("writing " + target_ + " failed", reason);
  }
  if (std::rename(staged_.c_str(), target_.c_str()) != 0) {
    reason = errno;
    Discard();
    return Fail("cannot replace " + target_, reason);
  }
  staged_.clear();
  return true;
}

void AtomicFile::Discard() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  if (!staged_.empty()) unlink(staged_.c_str());
  staged_.clear();
}

bool WriteFileAtomically(const std::string& destination, const void* data, size_t size, std::string* error) {
  AtomicFile file;
  bool ok = file.Open(destination);
  if (ok && size > 0 && std::fwrite(data, 1, size, file.File()) != size) {
    file.Discard();
    if (error) *error = "writing " + file.Target() + " failed";
    return false;
  }
  if (ok) ok = file.Commit();
  if (!ok && error) *error = file.Error();
  return ok;
}

}  // namespace zepcon
