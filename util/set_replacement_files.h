#ifndef WENLEI_UTIL_SET_REPLACEMENT_FILES_H_
#define WENLEI_UTIL_SET_REPLACEMENT_FILES_H_

#include <string>

#include "util/file_lock.h"

// What a set replacement (util/set_replacement.h) asks of the file system,
// implemented once for POSIX and once for Windows.  Each call that can fail
// returns an errno value, 0 on success; no call follows a link it meets.
namespace wenlei::replacement_files {

// Between a directory and the names in it.
extern const char kSeparator;

// directory without the separators at its end (a root keeps its own).
std::string WithoutFinalSeparators(std::string directory);

// Makes a staging directory with an unpredictable name in directory, made
// exclusively so that nothing else can be in its place; *staging receives
// its path with the final separator.
int MakeStaging(const std::string& directory, std::string* staging);

// Whether a name is one MakeStaging gives: the staging start and six
// characters.
bool IsStagingName(const std::string& name);

// Removes the staging directories of writers that were killed outright:
// only this user's directories, never what a link names.
void RemoveLeftovers(const std::string& directory);

int SyncFile(const std::string& path);
// Makes a directory's entries reach the disk, where the system syncs
// directories at all (elsewhere 0 at once).
int SyncDirectory(const std::string& path);

enum class Entry { kMissing, kDirectory, kFile };
int Examine(const std::string& path, Entry* entry);

// Gives the old file at target a second name at kept.
int KeepOld(const std::string& target, const std::string& kept);

// Moves from over to, replacing what to names.
int MoveOver(const std::string& from, const std::string& to);
int Remove(const std::string& path);

// Removes the lock file and releases the lock, in the order the system
// allows (a file held open cannot be removed on Windows).
void RemoveLock(FileLock* lock, const std::string& path);

}  // namespace wenlei::replacement_files

#endif  // WENLEI_UTIL_SET_REPLACEMENT_FILES_H_
