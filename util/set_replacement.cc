#include "util/set_replacement.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "util/file_bytes.h"
#include "util/set_replacement_files.h"
#include "util/working_file.h"

namespace wenlei {
namespace {

using Code = Status::Code;
namespace files = replacement_files;
namespace fs = std::filesystem;

ReplacementFault gFault = nullptr;

// The errno a test injects at a step, or 0.
int Injected(const char* step, const std::string& name) {
  return gFault != nullptr ? gFault(step, name) : 0;
}

Status Failure(const std::string& what, int error) {
  return Status(Code::kIoError, what + ": " + SystemReason(error));
}

std::string Join(const std::string& directory, const std::string& name) {
  return JoinPath(directory, name);
}

std::string WithoutSeparator(const std::string& staging) { return staging.substr(0, staging.size() - 1); }

// The names in folder; none when it cannot be listed.
std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code status;
  for (fs::directory_iterator entry(Utf8Path(folder), status), end; !status && entry != end;
       entry.increment(status)) {
    names.push_back(entry->path().filename().u8string());
  }
  return names;
}

bool Exists(const std::string& path) {
  files::Entry entry;
  return files::Examine(path, &entry) == 0 && entry != files::Entry::kMissing;
}

// Ends the name of the record, in the kept folder, of a name that had no
// old file.
constexpr char kAbsentEnd[] = ".absent";

void WriteMarker(const std::string& path) {
  if (std::FILE* file = OpenFile(path, "wb")) std::fclose(file);
}

void RemoveTree(const std::string& path) {
  std::error_code ignored;
  fs::remove_all(Utf8Path(path), ignored);
}

}  // namespace

bool replacement_files::IsStagingName(const std::string& name) {
  return name.size() == sizeof kStagingStart - 1 + 6 &&
         name.compare(0, sizeof kStagingStart - 1, kStagingStart) == 0;
}

void SetReplacementFaultForTesting(ReplacementFault fault) { gFault = fault; }

SetReplacement::~SetReplacement() { Finish(); }

Status SetReplacement::Begin(const std::string& directory, const std::vector<std::string>& names) {
  Finish();
  names_ = names;
  keepStaging_ = false;
  directory_ = files::WithoutFinalSeparators(directory);
  lockPath_ = Join(directory_, kSetLockName);
  bool busy = false;
  if (Status status = lock_.TryLock(lockPath_, &busy); !status.ok()) return status;
  if (busy) {
    return Status(Code::kIoError, "another training is writing " + directory +
                                      " (it holds " + lockPath_ + "); try again when it is done");
  }
  locked_ = true;
  parent_ = files::ExchangeParent(directory_, &realDirectory_);
  Status status = RecoverLeftovers(directory_);
  if (status.ok() && !parent_.empty()) status = RecoverLeftovers(parent_);
  if (status.ok()) status = Stage();
  if (!status.ok()) Finish();
  return status;
}

// Beside the directory when it can be exchanged, else inside it.  The
// staging directory holds a second name of the lock file, which marks it as
// this set's own.
Status SetReplacement::Stage() {
  int error = files::MakeStaging(parent_.empty() ? directory_ : parent_, &staging_);
  if (error != 0 && !parent_.empty()) {
    parent_.clear();
    error = files::MakeStaging(directory_, &staging_);
  }
  if (error != 0) return Failure("cannot write in " + directory_, error);
  files::LinkEntry(lockPath_, staging_ + kSetLockName);  // without it, a leftover is merely kept
  return Status::Ok();
}

Status SetReplacement::Written(const std::string& name) const {
  if (const int error = Injected("write", name)) return Failure("cannot write " + staging_ + name, error);
  return Status::Ok();
}

bool SetReplacement::IsSetName(const std::string& name) const {
  if (name == kSetLockName || name == kKeptFolder) return true;
  for (const auto& own : names_) {
    if (own == name) return true;
  }
  return false;
}

Status SetReplacement::Commit() {
  if (staging_.empty()) return Status(Code::kInternal, "no staging directory to move files from");
  for (const auto& name : names_) {
    const std::string target = Join(directory_, name);
    files::Entry entry;
    if (const int error = files::Examine(target, &entry)) return Failure("cannot look at " + target, error);
    if (entry == files::Entry::kDirectory) return Failure("cannot replace " + target, EISDIR);
    int error = Injected("access", name);
    if (error == 0) error = files::GiveAccessOf(target, staging_ + name, false);
    if (error != 0) return Failure("cannot give " + staging_ + name + " the access of " + target, error);
    error = Injected("sync", name);
    if (error == 0) error = files::SyncFile(staging_ + name);
    if (error != 0) return Failure("cannot sync " + staging_ + name, error);
  }
  if (const int error = files::SyncDirectory(staging_)) return Failure("cannot sync " + staging_, error);
  if (!parent_.empty()) {
    bool exchanged = false;
    Status status = CommitByExchange(&exchanged);
    if (exchanged || !status.ok()) return status;
  }
  return CommitFileByFile();
}

// The staging directory becomes the directory: it takes the directory's
// access and a second name of each of its other files first, and the
// directory's subdirectories and anything made meanwhile follow it after
// the exchange.  *exchanged stays false (and the status ok) where the files
// are to move one by one instead.
Status SetReplacement::CommitByExchange(bool* exchanged) {
  const std::string fresh = WithoutSeparator(staging_);
  int error = Injected("access", directory_);
  if (error == 0) error = files::GiveAccessOf(realDirectory_, fresh, true);
  if (error != 0) return Status::Ok();
  for (const auto& name : Entries(directory_)) {
    if (IsSetName(name)) continue;
    files::Entry entry;
    if (files::Examine(Join(directory_, name), &entry) != 0) return Status::Ok();
    if (entry == files::Entry::kDirectory) continue;
    error = Injected("link", name);
    if (error == 0) error = files::LinkEntry(Join(directory_, name), staging_ + name);
    if (error != 0) return Status::Ok();
  }
  if (files::SyncDirectory(fresh) != 0) return Status::Ok();
  error = Injected("exchange", directory_);
  if (error == 0) error = files::ExchangeDirectories(fresh, realDirectory_);
  if (error != 0) {
    if (files::CannotExchange(error)) return Status::Ok();
    return Failure("cannot exchange " + fresh + " with " + directory_, error);
  }
  *exchanged = true;
  files::SyncDirectory(parent_);
  return ReturnOtherEntries(fresh);
}

// What the old directory (now at from) holds beyond the set and is not yet
// in the directory moves there: its subdirectories, and what was made
// after the links were taken.
Status SetReplacement::ReturnOtherEntries(const std::string& from) {
  std::string unreturned;
  for (const auto& name : Entries(from)) {
    if (IsSetName(name)) continue;
    int error = Injected("return", name);
    if (error == 0) error = files::MoveIfAbsent(Join(from, name), Join(directory_, name));
    if (error != 0 && error != EEXIST) {
      unreturned += (unreturned.empty() ? "" : ", ") + name + " (" + SystemReason(error) + ")";
    }
  }
  if (unreturned.empty()) return Status::Ok();
  keepStaging_ = true;
  return Status(Code::kIoError, "the new set is in " + directory_ + ", but these of its entries are still in " +
                                    from + ": " + unreturned);
}

Status SetReplacement::CommitFileByFile() {
  // The old files keep a second name in the staging directory until every
  // new one is in place; a link there is kept as a link, never followed.
  const std::string kept = staging_ + kKeptFolder;
  std::error_code made;
  fs::create_directory(Utf8Path(kept), made);
  if (made) return Failure("cannot write in " + staging_, made.value());
  for (const auto& name : names_) {
    const std::string target = Join(directory_, name);
    if (!Exists(target)) {
      WriteMarker(Join(kept, name + kAbsentEnd));
      continue;
    }
    int error = Injected("keep", name);
    if (error == 0) error = files::KeepOld(target, Join(kept, name));
    if (error != 0) return Failure("cannot keep the old " + target + " while it is replaced", error);
  }
  if (const int error = files::SyncDirectory(kept)) return Failure("cannot sync " + kept, error);

  for (std::size_t i = 0; i < names_.size(); ++i) {
    const std::string target = Join(directory_, names_[i]);
    int error = Injected("rename", names_[i]);
    if (error == 0) error = files::MoveOver(staging_ + names_[i], target);
    if (error == 0) continue;
    Status failed = Failure("cannot move the new " + names_[i] + " into " + directory_, error);
    const Status restored = RollBack(WithoutSeparator(staging_));
    const std::string outcome = restored.ok() ? "; the old files are kept as they were" : "; " + restored.message();
    return Status(failed.code(), failed.message() + outcome);
  }
  // The files have reached the disk; where the system can, the directory's
  // new entries follow, so a crash leaves one whole set or the other.
  files::SyncDirectory(directory_);
  return Status::Ok();
}

// Puts back the old files of a set moved file by file from staging: each
// kept old file goes back over its name (where it never left, that changes
// nothing), and a name that had no old file is removed.  Each name's step
// undoes itself with its record, so a rollback cut off is finished by the
// next one.  Old files that cannot be put back stay where they are, and so
// does the staging directory.
Status SetReplacement::RollBack(const std::string& staging) {
  const std::string kept = Join(staging, kKeptFolder);
  std::string unrestored;
  for (const auto& name : names_) {
    const std::string target = Join(directory_, name);
    const std::string old = Join(kept, name);
    const std::string absent = Join(kept, name + kAbsentEnd);
    const bool hadOld = Exists(old);
    if (!hadOld && !Exists(absent)) continue;  // put back already
    int undone = Injected("restore", name);
    if (undone == 0) undone = hadOld ? files::MoveOver(old, target) : files::Remove(target);
    if (undone == ENOENT && !hadOld) undone = 0;
    if (undone == 0 && !hadOld) undone = files::Remove(absent);
    if (undone != 0) {
      unrestored += (unrestored.empty() ? "" : ", ") + target + " (" + SystemReason(undone) + ")";
    }
  }
  if (unrestored.empty()) return Status::Ok();
  keepStaging_ = true;
  return Status(Code::kIoError, "these could not be put back as they were: " + unrestored +
                                    "; the old files are in " + kept);
}

bool SetReplacement::IsOwnLeftover(const std::string& path) const {
  if (!files::IsStagingName(fs::path(Utf8Path(path)).filename().u8string())) return false;
  if (!files::IsOwnDirectory(path)) return false;
  std::error_code fault;
  return fs::equivalent(Utf8Path(Join(path, kSetLockName)), Utf8Path(lockPath_), fault) && !fault;
}

// Staging directories that hold this set's lock file are writers' own,
// killed outright: only the lock holder has one.
Status SetReplacement::RecoverLeftovers(const std::string& folder) {
  for (const auto& name : Entries(folder)) {
    const std::string path = Join(folder, name);
    if (!IsOwnLeftover(path)) continue;
    if (Status recovered = Recover(path); !recovered.ok()) return recovered;
  }
  return Status::Ok();
}

// A set moved halfway file by file gets its old files back; one moved
// whole (or exchanged) is complete, and an exchanged directory's other
// entries follow it.
Status SetReplacement::Recover(const std::string& leftover) {
  bool movedAll = true, movedAny = false;
  for (const auto& name : names_) {
    const bool moved = !Exists(Join(leftover, name));
    movedAll = movedAll && moved;
    movedAny = movedAny || moved;
  }
  const bool fileByFile = Exists(Join(leftover, kKeptFolder));
  Status recovered = fileByFile && movedAny && !movedAll ? RollBack(leftover) : ReturnOtherEntries(leftover);
  if (!recovered.ok()) {
    keepStaging_ = false;  // the leftover is kept, not this run's staging
    return Status(Code::kIoError, "a training cut off earlier left " + leftover +
                                      " unfinished, and it cannot be finished: " + recovered.message());
  }
  if (const int error = Injected("cleanup", leftover)) return Failure("cannot remove " + leftover, error);
  RemoveTree(leftover);
  return Status::Ok();
}

void SetReplacement::Finish() {
  if (!staging_.empty()) {
    if (!keepStaging_ && Injected("cleanup", staging_) == 0) {
      files::BeforeRemovingStaging(&lock_);
      RemoveTree(WithoutSeparator(staging_));
    }
    staging_.clear();
  }
  if (locked_) {
    // A staging directory kept with old files is proved this set's own by
    // the lock file's second name in it, so the lock file stays too.
    if (keepStaging_) {
      lock_.Unlock();
    } else {
      files::RemoveLock(&lock_, lockPath_);
    }
    locked_ = false;
  }
  keepStaging_ = false;
}

}  // namespace wenlei
