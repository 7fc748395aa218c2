#include "tools/host/working_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace wenlei {
namespace {

const char* const kFileNames[] = {"Source.dat", "SVMModel", "SVMTestFile.dat", "resultFile.dat",
                                  "SVMTestFile.dat.lock"};
constexpr int kFileCount = sizeof kFileNames / sizeof kFileNames[0];

// The live directory's paths, kept as plain arrays so that a signal handler
// may remove them with async-signal-safe calls only.
char gDirectory[PATH_MAX];
char gFiles[kFileCount][PATH_MAX];
volatile sig_atomic_t gLive = 0;
// The live directory's lock (see RemoveAbandoned); -1 when none.
volatile sig_atomic_t gLock = -1;

void RemoveLiveDirectory() {
  if (gLive) {
    gLive = 0;
    for (const char* file : gFiles) unlink(file);
    rmdir(gDirectory);
  }
  if (gLock >= 0) close(gLock);
  gLock = -1;
}

void RemoveAtSignal(int signalNumber) {
  RemoveLiveDirectory();
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

void InstallCleanUp() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  std::atexit(RemoveLiveDirectory);
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    // Leave an ignored signal ignored, as the parent asked.
    if (sigaction(signalNumber, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) continue;
    action.sa_handler = RemoveAtSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(signalNumber, &action, nullptr);
  }
}

std::string HostName() {
  char name[256] = {0};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "host";
  std::string safe;
  for (const char* c = name; *c != '\0'; ++c) safe += (*c == '/' || *c == '-') ? '_' : *c;
  return safe;
}

std::string DirectoryStem() { return "classify-" + HostName() + "-"; }

// Removes directories of this host's earlier runs that are over: their
// process is gone and nobody holds the lock on the directory, which a run
// holds for as long as its directory lives (a run killed outright loses it
// with its last descriptor, and where process numbers cannot be trusted, a
// container with its own sharing the cache folder, the lock still tells).
// Only names of the form STEM PID -XXXXXX are touched.
void RemoveAbandoned(const std::string& root) {
  const std::string stem = DirectoryStem();
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
    const std::string name = entry.path().filename().string();
    if (name.compare(0, stem.size(), stem) != 0) continue;
    char* end = nullptr;
    long pid = std::strtol(name.c_str() + stem.size(), &end, 10);
    if (pid <= 0 || end == nullptr || *end != '-') continue;
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    const int descriptor = open(entry.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0) continue;
    if (flock(descriptor, LOCK_EX | LOCK_NB) == 0) std::filesystem::remove_all(entry.path(), error);
    close(descriptor);
  }
}

bool MakeUnder(const std::string& root, std::string* path) {
  std::error_code error;
  std::filesystem::create_directories(root, error);
  if (error) return false;
  // Under a shared folder such as /tmp, only a real directory of our own will
  // do: not one another user made, nor a link to somewhere else.
  struct stat status;
  if (lstat(root.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
      status.st_uid != getuid()) {
    errno = EACCES;
    return false;
  }
  chmod(root.c_str(), 0700);
  RemoveAbandoned(root);
  std::string pattern = root + "/" + DirectoryStem() + std::to_string(getpid()) + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return false;
  // Held until the directory is removed, and released by the system when
  // the process dies however it dies.
  gLock = open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (gLock < 0 || flock(gLock, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (gLock >= 0) close(gLock);
    gLock = -1;
    rmdir(pattern.c_str());
    errno = error;
    return false;
  }
  *path = pattern;
  return true;
}

// Places source at target: a hard link shares the bytes and cannot dangle,
// a symbolic link works across file systems, a copy always works.
Status PlaceFile(const std::filesystem::path& source, const std::filesystem::path& target) {
  std::error_code code;
  // A symbolic link to nothing would be made without complaint.
  if (!std::filesystem::is_regular_file(source, code)) {
    return Status(Status::Code::kNotFound, "cannot place " + source.string() + " in " +
                                               target.parent_path().string() +
                                               ": not a readable file");
  }
  if (link(source.c_str(), target.c_str()) == 0) return Status::Ok();
  std::filesystem::path absolute = std::filesystem::absolute(source, code);
  if (!code && symlink(absolute.c_str(), target.c_str()) == 0) return Status::Ok();
  std::filesystem::copy_file(source, target, code);
  if (!code) return Status::Ok();
  return Status(Status::Code::kIoError, "cannot place " + source.string() + " in " +
                                            target.parent_path().string() + ": " + code.message());
}

}  // namespace

std::string WorkingDirectoryRoot() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache != nullptr && cache[0] == '/') return std::string(cache) + "/wenlei";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.cache/wenlei";
  return "";
}

Status WorkingDirectory::Create(const std::string& resourceDir,
                                std::unique_ptr<WorkingDirectory>* made) {
  if (gLive) return Status(Status::Code::kInternal, "a working directory is already in use");
  std::string path;
  const std::string cacheRoot = WorkingDirectoryRoot();
  if (cacheRoot.empty() || !MakeUnder(cacheRoot, &path)) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string tmpRoot = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") +
                                "/wenlei-" + std::to_string(getuid());
    if (!MakeUnder(tmpRoot, &path)) {
      return Status(Status::Code::kIoError,
                    "cannot make a working directory under " +
                        (cacheRoot.empty() ? std::string() : cacheRoot + " or ") + tmpRoot + ": " +
                        std::strerror(errno));
    }
  }
  if (path.size() + 32 >= PATH_MAX) {
    rmdir(path.c_str());
    RemoveLiveDirectory();  // the lock
    return Status(Status::Code::kIoError, "the working directory's path is too long: " + path);
  }

  std::unique_ptr<WorkingDirectory> directory(new WorkingDirectory(path));
  std::strcpy(gDirectory, path.c_str());
  for (int i = 0; i < kFileCount; ++i) {
    std::strcpy(gFiles[i], (path + "/" + kFileNames[i]).c_str());
  }
  InstallCleanUp();
  gLive = 1;

  for (const char* name : {"Source.dat", "SVMModel"}) {
    Status placed =
        PlaceFile(std::filesystem::path(resourceDir) / name, std::filesystem::path(path) / name);
    if (!placed.ok()) return placed;  // the destructor removes what was made
  }
  *made = std::move(directory);
  return Status::Ok();
}

WorkingDirectory::~WorkingDirectory() { RemoveLiveDirectory(); }

}  // namespace wenlei
