#ifndef WENLEI_UTIL_SET_REPLACEMENT_FILES_H_
#define WENLEI_UTIL_SET_REPLACEMENT_FILES_H_

#include <string>

#include "util/file_lock.h"

// What a set replacement (util/set_replacement.h) asks of the file system,
// implemented once for POSIX and once for Windows.  Each call that can fail
// returns an errno value, 0 on success; no call follows a link it meets.
namespace wenlei::replacement_files {

// directory without the separators at its end (a root keeps its own).
std::string WithoutFinalSeparators(std::string directory);

// Makes a staging directory with an unpredictable name in directory, made
// exclusively so that nothing else can be in its place; *staging receives
// its path with the final separator.
int MakeStaging(const std::string& directory, std::string* staging);

// Whether a name is one MakeStaging gives: the staging start and six
// characters.
bool IsStagingName(const std::string& name);

// Whether path is a directory of this user's own, not a link to one.
bool IsOwnDirectory(const std::string& path);

// The parent in which a staging directory can be exchanged with directory
// in one step: the parent of its real path, on the same file system, and
// writable; empty where there is none or the system exchanges nothing.
// *real receives the directory's path with no link in it.
std::string ExchangeParent(const std::string& directory, std::string* real);

// Exchanges two directories' names in one step; ENOSYS where the system
// cannot.
int ExchangeDirectories(const std::string& first, const std::string& second);

// Whether an error of ExchangeDirectories means only that this system or
// file system cannot exchange, so that the files are to move one by one.
bool CannotExchange(int error);

int SyncFile(const std::string& path);
// Makes a directory's entries reach the disk, where the system syncs
// directories at all (elsewhere 0 at once).
int SyncDirectory(const std::string& path);

enum class Entry { kMissing, kDirectory, kFile };
int Examine(const std::string& path, Entry* entry);

// Gives fresh the mode, group and, where the process may, the owner of
// old (nothing where old is missing or a link).  exact: fail unless all
// three (and no access list or extended attribute of old) could be given.
int GiveAccessOf(const std::string& old, const std::string& fresh, bool exact);

// A second name for the file at from (a link: the link itself), never a
// copy: EXDEV, EPERM and the like where the system refuses.
int LinkEntry(const std::string& from, const std::string& to);

// Gives the old file at target a second name at kept: a hard link, or
// where the file system has none, a copy.
int KeepOld(const std::string& target, const std::string& kept);

// Moves from over to, replacing what to names.
int MoveOver(const std::string& from, const std::string& to);
// Moves from to to unless to names something (EEXIST then).
int MoveIfAbsent(const std::string& from, const std::string& to);
int Remove(const std::string& path);

// Called before a staging directory is removed: Windows removes no name
// of a file held open, and the staging directory holds one of the lock
// file's, so there the lock is released first.
void BeforeRemovingStaging(FileLock* lock);

// Removes the lock file and releases the lock, in the order the system
// allows (a file held open cannot be removed on Windows).
void RemoveLock(FileLock* lock, const std::string& path);

}  // namespace wenlei::replacement_files

#endif  // WENLEI_UTIL_SET_REPLACEMENT_FILES_H_
