#ifndef WENLEI_UTIL_WORKING_FILE_H_
#define WENLEI_UTIL_WORKING_FILE_H_

#include <cstdio>

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

// Opens path for writing (text mode), creating it when missing; null where
// fopen(path, "w") would fail.
std::FILE* OpenForRewrite(const char* path);

// Cuts the file where writing stopped (everything written so far is flushed
// first), as if it had been emptied when opened.  For a step that ends the
// process in the middle of writing.
void CutRewriteHere(std::FILE* file);

// Cuts the file where writing stopped and closes it; fclose's result.
int CloseRewrite(std::FILE* file);

}  // namespace wenlei

#endif  // WENLEI_UTIL_WORKING_FILE_H_
