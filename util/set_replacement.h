#ifndef WENLEI_UTIL_SET_REPLACEMENT_H_
#define WENLEI_UTIL_SET_REPLACEMENT_H_

#include <string>
#include <vector>

#include "util/file_lock.h"
#include "util/status.h"

namespace wenlei {

// Replacing the files of a set that readers use in place: one writer at a
// time, nothing written through a link, all files or none.
//
// Begin takes the directory's writer lock without waiting (a lock file in
// the directory, opened without following a link), so a second writer is
// refused at once.  The writer then writes the new files into a staging
// directory that Begin made inside the directory: private to this user,
// named unpredictably and made exclusively, so that nobody else can put a
// file or a link where the writer writes.  Commit syncs the new files and
// moves them over the old ones, one rename each in the order given, each
// old file kept under a second name until all have moved: any failure
// moves every old file back, so the directory ends with the whole new set
// or the whole old one.
//
// A reader that opens the files by name sees, at any moment, each file
// either old or new; the order of the names decides which mixture can be
// seen during the moves.
class SetReplacement {
 public:
  SetReplacement() = default;
  // Removes the staging directory and releases the lock.
  ~SetReplacement();
  SetReplacement(const SetReplacement&) = delete;
  SetReplacement& operator=(const SetReplacement&) = delete;

  // Takes the lock on directory (which must exist) and makes the staging
  // directory.  Another writer holding the lock is kInvalidArgument
  // "another training is writing DIRECTORY"; a directory that cannot be
  // written is kIoError.  Staging directories left by writers that were
  // killed outright are removed, since only the lock holder may have one.
  Status Begin(const std::string& directory);

  // The staging directory with its final separator.
  const std::string& staging() const { return staging_; }

  // The file name the writer has just finished writing in the staging
  // directory: where a test injects a write fault.
  Status Written(const std::string& name) const;

  // Syncs the files named (written in the staging directory), then moves
  // them into the directory in that order, all or none; a name that is a
  // directory in the target is refused before anything moves.
  Status Commit(const std::vector<std::string>& names);

  // Removes the staging directory and the lock file and releases the lock.
  void Finish();

 private:
  std::string directory_;
  std::string staging_;
  std::string lockPath_;
  FileLock lock_{PathBytes::kUtf8};
  bool locked_ = false;
};

// The name of the lock file and the start of the staging directories' names.
inline constexpr char kSetLockName[] = ".wenlei-train.lock";
inline constexpr char kStagingStart[] = ".wenlei-train-";

// For tests: a function asked before each step of a replacement ("write",
// "sync", "keep", "rename", "restore") and each file name; a non-zero
// errno it returns makes that step fail as the system would.  Null (the
// default) injects nothing.
using ReplacementFault = int (*)(const std::string& step, const std::string& name);
void SetReplacementFaultForTesting(ReplacementFault fault);

}  // namespace wenlei

#endif  // WENLEI_UTIL_SET_REPLACEMENT_H_
