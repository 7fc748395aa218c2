#include "testutil/small_file_system.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace wenlei::testing {
namespace {

// The status a child ends with when it could not set up its file system;
// its standard error then says why.
constexpr int kUnavailable = 77;

bool WriteProcFile(const char* path, const std::string& text) {
  const int descriptor = open(path, O_WRONLY);
  if (descriptor < 0) return false;
  const bool written = write(descriptor, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(descriptor);
  return written;
}

// A private mount namespace: as root directly, else inside a new user
// namespace in which this user is root.
bool EnterPrivateMountNamespace() {
  if (unshare(CLONE_NEWNS) == 0) return true;
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
  WriteProcFile("/proc/self/setgroups", "deny");
  return WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
         WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
}

}  // namespace

bool RunOnSmallFileSystem(std::size_t bytes, const std::function<void(const std::string&)>& body,
                          ChildOutcome* outcome, std::string* unavailable) {
  TempDir mountPoint;
  *outcome = RunInChild([&] {
    if (!EnterPrivateMountNamespace() ||
        mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", mountPoint.path().c_str(), "tmpfs", 0,
              ("size=" + std::to_string(bytes)).c_str()) != 0) {
      std::fprintf(stderr, "cannot mount a tmpfs: %s", std::strerror(errno));
      std::fflush(stderr);
      _exit(kUnavailable);
    }
    body(mountPoint.path());
  });
  if (outcome->exited && outcome->status == kUnavailable) {
    *unavailable = outcome->err;
    return false;
  }
  return true;
}

std::string FillFileSystem(const std::string& directory) {
  const std::string path = directory + "/filler";
  const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  char block[4096] = {};
  for (std::size_t size = sizeof block; size > 0; size /= 2) {
    while (write(descriptor, block, size) == static_cast<ssize_t>(size)) {
    }
  }
  close(descriptor);
  return path;
}

bool MakeReadOnly(const std::string& path) {
  return mount(path.c_str(), path.c_str(), "none", MS_BIND, nullptr) == 0 &&
         mount("none", path.c_str(), "none", MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

}  // namespace wenlei::testing
