#ifndef WENLEI_TOOLS_HOST_WORKING_DIRECTORY_H_
#define WENLEI_TOOLS_HOST_WORKING_DIRECTORY_H_

#include <memory>
#include <string>

#include "util/status.h"

namespace wenlei {

// A private directory from which the library loads a resource set and in
// which it writes its two working files (SVMTestFile.dat, resultFile.dat), so
// that the resource set itself is never written to and concurrent runs never
// share working files.
//
// It is made with mkdtemp under $XDG_CACHE_HOME/wenlei (by default
// ~/.cache/wenlei), or under $TMPDIR (by default /tmp) when the cache folder
// cannot be used, and named classify-HOST-PID-XXXXXX.  Source.dat and
// SVMModel are hard-linked into it (symbolically linked, or copied, where a
// hard link is impossible).  The directory and everything in it go away when
// the object is destroyed, when the process exits (the library ends the
// process on some failures) and on SIGINT, SIGTERM, SIGHUP and SIGPIPE.
// The run holds an advisory lock (flock) on the directory while it lives;
// directories left behind by runs on this host that were killed outright
// (their process gone, the lock free) are removed by the next run.
class WorkingDirectory {
 public:
  // Makes the directory and links resourceDir's Source.dat and SVMModel into
  // it, into *directory.  At most one may exist at a time in a process.
  static Status Create(const std::string& resourceDir, std::unique_ptr<WorkingDirectory>* directory);
  ~WorkingDirectory();
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  const std::string& path() const { return path_; }
  // The prefix to hand to LoadSource: the path and its separator.
  std::string prefix() const { return path_ + "/"; }

 private:
  explicit WorkingDirectory(std::string path) : path_(std::move(path)) {}

  std::string path_;
};

// The folder under which working directories are made first.
std::string WorkingDirectoryRoot();

}  // namespace wenlei

#endif  // WENLEI_TOOLS_HOST_WORKING_DIRECTORY_H_
