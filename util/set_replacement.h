#ifndef WENLEI_UTIL_SET_REPLACEMENT_H_
#define WENLEI_UTIL_SET_REPLACEMENT_H_

#include <string>
#include <vector>

#include "util/file_lock.h"
#include "util/status.h"

namespace wenlei {

// Replacing the files of a set that readers use in place: one writer at a
// time, nothing written through a link, and a directory that holds one
// whole set, old or new, at every instant, even across a kill or a power
// loss.
//
// Begin takes the directory's writer lock without waiting (a lock file in
// the directory, opened without following a link), so a second writer is
// refused at once.  It then makes a staging directory, private to this
// user, named unpredictably and made exclusively, that holds a second name
// of the lock file: that link is what proves a staging directory to be a
// writer's own, so that nothing else is ever taken for a leftover.
//
// Where it can, Commit exchanges the directory with the staging directory
// in one step (the staging directory then sits beside the directory, in
// its parent, and receives the directory's other entries, its mode, owner
// and group first): a reader that opens a file by name finds the old set
// or the new, never a mixture.  Where it cannot (no exchange on this
// system or file system, a parent that cannot be written, a directory
// whose owner or access cannot be given to a new one), it moves the files
// one by one, each old file kept in the staging directory until all have
// moved, and moves the old ones back on any failure.
//
// A writer killed outright leaves its staging directory.  The next Begin
// on the directory finishes what it left: a set moved file by file halfway
// gets its old files back, an exchanged directory its other entries, and
// only then is the staging directory removed.  Old files that could not be
// put back stay in the staging directory, whose path the failure names,
// and are never deleted while they are the only copy.
class SetReplacement {
 public:
  SetReplacement() = default;
  // Removes the staging directory (unless it holds the only copy of old
  // files) and releases the lock.
  ~SetReplacement();
  SetReplacement(const SetReplacement&) = delete;
  SetReplacement& operator=(const SetReplacement&) = delete;

  // Takes the lock on directory (which must exist), finishes what a killed
  // writer left there, and makes the staging directory for the files
  // named, which Commit moves in that order.  Another writer holding the
  // lock is kIoError "another training is writing DIRECTORY ..."; a
  // directory that cannot be written is kIoError.
  Status Begin(const std::string& directory, const std::vector<std::string>& names);

  // The staging directory with its final separator: where the writer
  // writes the files named.
  const std::string& staging() const { return staging_; }

  // The file name the writer has just finished writing in the staging
  // directory: where a test injects a write fault.
  Status Written(const std::string& name) const;

  // Syncs the files named at Begin, gives each the mode, group (and where
  // the process may, owner) of the file it replaces, and puts them in
  // place, all or none; a name that is a directory in the target is
  // refused before anything moves.
  Status Commit();

  // Removes the staging directory and the lock file and releases the lock;
  // a staging directory with old files that could not be put back stays,
  // and so does the lock file that proves it ours.
  void Finish();

 private:
  Status Stage();
  Status CommitByExchange(bool* exchanged);
  Status CommitFileByFile();
  Status RecoverLeftovers(const std::string& folder);
  Status Recover(const std::string& leftover);
  Status RollBack(const std::string& staging);
  Status ReturnOtherEntries(const std::string& from);
  bool IsOwnLeftover(const std::string& path) const;
  bool IsSetName(const std::string& name) const;

  std::string directory_;
  std::string parent_;  // where the staging directory can sit for an exchange; empty when none
  std::string realDirectory_;  // the directory's path with no link in it, for the exchange
  std::string staging_;
  std::string lockPath_;
  std::vector<std::string> names_;
  FileLock lock_{PathBytes::kUtf8};
  bool locked_ = false;
  bool keepStaging_ = false;
};

// The name of the lock file, the start of the staging directories' names,
// and the folder in a staging directory where old files wait while a set
// is moved file by file.
inline constexpr char kSetLockName[] = ".wenlei-train.lock";
inline constexpr char kStagingStart[] = ".wenlei-train-";
inline constexpr char kKeptFolder[] = ".wenlei-kept";

// For tests: a function asked before each step of a replacement ("write",
// "sync", "access", "link", "exchange", "return", "keep", "rename",
// "restore", "cleanup") and each file name; a non-zero errno it returns
// makes that step fail as the system would.  Null (the default) injects
// nothing.
using ReplacementFault = int (*)(const std::string& step, const std::string& name);
void SetReplacementFaultForTesting(ReplacementFault fault);

}  // namespace wenlei

#endif  // WENLEI_UTIL_SET_REPLACEMENT_H_
