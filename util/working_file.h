#ifndef WENLEI_UTIL_WORKING_FILE_H_
#define WENLEI_UTIL_WORKING_FILE_H_

#include <cerrno>
#include <cstdio>
#include <string>

namespace wenlei {

// Writing a working file (the test file, the result file) anew.
//
// fopen's "w" first truncates an existing file to nothing, and ext4, the
// usual Linux file system, answers a file truncated to nothing and written
// again by forcing its data to disk when it is closed, so that a crash
// cannot leave it empty.  Every classification rewrites two working files,
// so that cost two waits for the disk per call, more than a small model's
// whole prediction.  On POSIX systems the new contents are therefore written
// over the old ones and the file is cut to their length at the end; the
// finished file is byte for byte what "w" would give.  Elsewhere these are
// fopen's "w" and fclose.

// Opens path for writing (text mode), creating it when missing; null, with
// errno set, where fopen(path, "w") would fail.  A symbolic link (on
// Windows any reparse point) at path is not followed but refused, with
// errno kLinkRefused: the working files are the resource directory's own,
// and a link put there must not make the library overwrite a file
// elsewhere.
std::FILE* OpenForRewrite(const char* path);

// The errno of a working file or lock file refused for being a link.
#if defined(ELOOP)
inline constexpr int kLinkRefused = ELOOP;  // what O_NOFOLLOW gives
#else
inline constexpr int kLinkRefused = 0x7A11;  // no errno of the system
#endif

// Flushes what was written, cuts the file there and closes it.  Every step
// is checked: 0 when the file now holds exactly what was written, else the
// errno of the first step that failed (a write that failed earlier, on a
// full disk say, shows here too).  The file is closed either way.
int CloseRewrite(std::FILE* file);

// The system's text for an errno value ("No space left on device"); for
// kLinkRefused, that the file is a link the library does not follow.
std::string SystemReason(int error);

}  // namespace wenlei

#endif  // WENLEI_UTIL_WORKING_FILE_H_
