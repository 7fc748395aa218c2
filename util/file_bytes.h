#ifndef WENLEI_UTIL_FILE_BYTES_H_
#define WENLEI_UTIL_FILE_BYTES_H_

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "util/status.h"

namespace wenlei {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

// How the bytes of a path name a file on Windows: as UTF-8 (the modern
// interface and the command), or in the ANSI code page, as the exported
// functions have always taken their prefix.  Elsewhere a path is its bytes
// either way.
enum class PathBytes { kUtf8, kAnsi };

// std::fopen of path in the given form; on Windows a UTF-8 path goes
// through _wfopen, so names beyond the ANSI code page work.  There a file
// that another process is replacing (MoveFileExW holds it for a moment)
// refuses opens with a sharing violation: such an open is tried again, for
// at most about a second, before it fails.
std::FILE* OpenFile(const std::string& path, const char* mode, PathBytes form = PathBytes::kUtf8);

#if defined(_WIN32)
// A new empty file of this process's own in the user's temporary folder,
// named with the wide functions (the folder's name may lie beyond the ANSI
// code page), as a UTF-8 path.
Status MakeTemporaryFile(std::string* path);

// The existing file or folder at path (UTF-8) as the ANSI functions name
// it: its path in the ANSI code page, else its short (8.3) path where that
// has a form there; empty when neither has.
std::string AnsiPath(const std::string& path);
#endif

// The file system path a UTF-8 path names, for std::filesystem.
std::filesystem::path Utf8Path(const std::string& path);

// name in directory, for opens and messages alike.  On Windows the
// separator is the one the directory already uses (its last; a backslash
// when it has none), so that a message never shows a path with both;
// elsewhere '/'.  A directory that ends with a separator (or, on Windows,
// a drive's colon) gets no other; an empty one gives name alone.
std::string JoinPath(const std::string& directory, std::string_view name);

// A file that could not be opened or read, errno's text in the message:
// kNotFound when it is not there, kIoError otherwise.
Status UnreadableFile(const std::string& path, int errorNumber);

// Opens path for reading in binary mode when it is a regular file (a final
// symbolic link followed), with the size it reports.  A FIFO, a device or a
// directory is refused without waiting for a writer, so a resource file
// that is one can neither block a reader nor feed it without end.  A
// failure says "cannot read PATH: REASON": kNotFound when nothing is there,
// kIoError otherwise, with *special set when given and the file is there but
// not a regular one.
Status OpenRegularFile(const std::string& path, FilePointer* file, std::uint64_t* size,
                       bool* special = nullptr, PathBytes form = PathBytes::kUtf8);

// Replaces *bytes with the regular file at path, no more than the size it
// reported when opened (a file growing meanwhile is read to that size).  A
// file over limit bytes is kTooLarge, unread.
Status ReadFileBytes(const std::string& path, std::string* bytes,
                     PathBytes form = PathBytes::kUtf8,
                     std::uint64_t limit = UINT64_MAX);

// Whether the regular file at path holds exactly expected, compared piece
// by piece without keeping a copy.
enum class FileComparison { kSame, kDifferent, kUnreadable };
FileComparison CompareFileBytes(const std::string& path, std::string_view expected,
                                PathBytes form = PathBytes::kUtf8);

#if !defined(_WIN32)
// Writes all of bytes to the descriptor, again after an interruption;
// false on an error (errno tells which).
bool WriteAll(int descriptor, std::string_view bytes);
#endif

}  // namespace wenlei

#endif  // WENLEI_UTIL_FILE_BYTES_H_
