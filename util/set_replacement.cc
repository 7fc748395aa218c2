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

ReplacementFault gFault = nullptr;

// The errno a test injects at a step, or 0.
int Injected(const char* step, const std::string& name) {
  return gFault != nullptr ? gFault(step, name) : 0;
}

Status Failure(const std::string& what, int error) {
  return Status(Code::kIoError, what + ": " + SystemReason(error));
}

}  // namespace

bool replacement_files::IsStagingName(const std::string& name) {
  return name.size() == sizeof kStagingStart - 1 + 6 &&
         name.compare(0, sizeof kStagingStart - 1, kStagingStart) == 0;
}

void SetReplacementFaultForTesting(ReplacementFault fault) { gFault = fault; }

SetReplacement::~SetReplacement() { Finish(); }

Status SetReplacement::Begin(const std::string& directory) {
  Finish();
  directory_ = files::WithoutFinalSeparators(directory);
  lockPath_ = directory_ + files::kSeparator + kSetLockName;
  bool busy = false;
  if (Status status = lock_.TryLock(lockPath_, &busy); !status.ok()) return status;
  if (busy) {
    return Status(Code::kIoError, "another training is writing " + directory +
                                      " (it holds " + lockPath_ + "); try again when it is done");
  }
  locked_ = true;
  files::RemoveLeftovers(directory_);
  if (const int error = files::MakeStaging(directory_, &staging_)) {
    Finish();
    return Failure("cannot write in " + directory, error);
  }
  return Status::Ok();
}

Status SetReplacement::Written(const std::string& name) const {
  if (const int error = Injected("write", name)) return Failure("cannot write " + staging_ + name, error);
  return Status::Ok();
}

Status SetReplacement::Commit(const std::vector<std::string>& names) {
  if (staging_.empty()) return Status(Code::kInternal, "no staging directory to move files from");
  for (const auto& name : names) {
    int error = Injected("sync", name);
    if (error == 0) error = files::SyncFile(staging_ + name);
    if (error != 0) return Failure("cannot sync " + staging_ + name, error);
  }
  if (const int error = files::SyncDirectory(staging_)) return Failure("cannot sync " + staging_, error);

  // The old files keep a second name in the staging directory until every
  // new one is in place; a link there is kept as a link, never followed.
  std::vector<bool> hadOld(names.size(), false);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string target = directory_ + files::kSeparator + names[i];
    files::Entry entry;
    if (const int error = files::Examine(target, &entry)) return Failure("cannot look at " + target, error);
    if (entry == files::Entry::kMissing) continue;
    if (entry == files::Entry::kDirectory) return Failure("cannot replace " + target, EISDIR);
    int error = Injected("keep", names[i]);
    if (error == 0) error = files::KeepOld(target, staging_ + names[i] + ".old");
    if (error != 0) return Failure("cannot keep the old " + target + " while it is replaced", error);
    hadOld[i] = true;
  }

  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string target = directory_ + files::kSeparator + names[i];
    int error = Injected("rename", names[i]);
    if (error == 0) error = files::MoveOver(staging_ + names[i], target);
    if (error == 0) continue;
    std::string unrestored;
    for (std::size_t j = i; j-- > 0;) {
      const std::string moved = directory_ + files::kSeparator + names[j];
      int undone = Injected("restore", names[j]);
      if (undone == 0) {
        undone = hadOld[j] ? files::MoveOver(staging_ + names[j] + ".old", moved) : files::Remove(moved);
      }
      if (undone != 0) unrestored += (unrestored.empty() ? "" : ", ") + moved + " (" + SystemReason(undone) + ")";
    }
    Status failed = Failure("cannot move the new " + names[i] + " into " + directory_, error);
    const std::string outcome =
        unrestored.empty() ? "; the old files are kept as they were"
                           : "; these could not be put back as they were: " + unrestored;
    return Status(failed.code(), failed.message() + outcome);
  }
  // The files have reached the disk; where the system can, the directory's
  // new entries follow, so a crash leaves one whole set or the other.
  files::SyncDirectory(directory_);
  return Status::Ok();
}

void SetReplacement::Finish() {
  if (!staging_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(Utf8Path(staging_.substr(0, staging_.size() - 1)), ignored);
    staging_.clear();
  }
  if (locked_) {
    files::RemoveLock(&lock_, lockPath_);
    locked_ = false;
  }
}

}  // namespace wenlei
