#include "train/worker_processes.h"

#include <errno.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "util/error_text.h"
#include "util/file_bytes.h"

namespace wenlei {

#if defined(_WIN32)

// Windows has no fork: no process is started, and the callers train the
// folds on threads instead.
bool ProcessIsSingleThreaded() { return false; }

bool WorkerOutput::Send(WorkerMessage::Kind, std::size_t, const std::string&) {
  connected_ = false;
  return false;
}

Status RunInWorkerProcesses(std::size_t, std::size_t,
                            const std::function<void(std::size_t, WorkerOutput&)>&,
                            const std::function<bool(const WorkerMessage&)>&, bool* started) {
  *started = false;
  return Status(Status::Code::kInternal, "this system has no fork to start worker processes");
}

#else

namespace {

// A message on the pipe: its kind, its unit and the length of its bytes,
// then the bytes.
struct Header {
  char kind;
  std::uint64_t unit;
  std::uint64_t size;
};

struct Worker {
  pid_t pid = -1;
  int fd = -1;          // the reading end; -1 once the worker closed it
  std::string pending;  // bytes read but not yet a whole message
};

std::string SystemError(const char* what) { return std::string(what) + ": " + ErrorText(errno); }

// Kills the workers still running and waits for every one.
void KillWorkers(std::vector<Worker>& workers) {
  for (Worker& worker : workers) {
    if (worker.fd >= 0) close(worker.fd);
    worker.fd = -1;
    if (worker.pid > 0) kill(worker.pid, SIGKILL);
  }
  for (Worker& worker : workers) {
    if (worker.pid <= 0) continue;
    while (waitpid(worker.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    worker.pid = -1;
  }
}

[[noreturn]] void RunWorker(std::size_t index, std::size_t count, std::size_t workers, int fd,
                            pid_t parent, const std::function<void(std::size_t, WorkerOutput&)>& work) {
  // A worker whose parent is gone (killed, or ended without waiting) has
  // no one to work for.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(1);
  WorkerOutput output(fd);
  int status = 0;
  try {
    for (std::size_t unit = index; unit < count && output.connected(); unit += workers) {
      work(unit, output);
    }
  } catch (const std::bad_alloc&) {
    output.Fault(index, Status(Status::Code::kNoMemory, "a training process ran out of memory"));
    status = 1;
  } catch (...) {
    output.Fault(index, Status(Status::Code::kInternal, "a training process failed"));
    status = 1;
  }
  // Nothing of the parent's (its buffers, its exit handlers) runs here.
  _exit(status);
}

}  // namespace

bool ProcessIsSingleThreaded() {
  std::error_code error;
  std::size_t threads = 0;
  for (std::filesystem::directory_iterator it("/proc/self/task", error), end;
       !error && it != end; it.increment(error)) {
    ++threads;
  }
  return !error && threads == 1;
}

bool WorkerOutput::Send(WorkerMessage::Kind kind, std::size_t unit, const std::string& bytes) {
  Header header;
  std::memset(&header, 0, sizeof header);  // no uninitialised padding on the pipe
  header.kind = static_cast<char>(kind);
  header.unit = unit;
  header.size = bytes.size();
  connected_ = connected_ &&
               WriteAll(fd_, std::string_view(reinterpret_cast<const char*>(&header), sizeof header)) &&
               WriteAll(fd_, bytes);
  return connected_;
}

#endif

bool WorkerOutput::Note(std::size_t unit, const std::string& bytes) {
  return Send(WorkerMessage::Kind::kNote, unit, bytes);
}

bool WorkerOutput::Result(std::size_t unit, const std::string& bytes) {
  return Send(WorkerMessage::Kind::kResult, unit, bytes);
}

bool WorkerOutput::Fault(std::size_t unit, const Status& status) {
  const int code = static_cast<int>(status.code());
  std::string bytes(reinterpret_cast<const char*>(&code), sizeof code);
  bytes += status.message();
  return Send(WorkerMessage::Kind::kFault, unit, bytes);
}

#if !defined(_WIN32)
Status RunInWorkerProcesses(std::size_t count, std::size_t workerCount,
                            const std::function<void(std::size_t, WorkerOutput&)>& work,
                            const std::function<bool(const WorkerMessage&)>& receive,
                            bool* started) {
  *started = false;
  std::vector<Worker> workers;
  const pid_t parent = getpid();
  for (std::size_t w = 0; w < workerCount && w < count; ++w) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
      const std::string message = SystemError("cannot open a pipe to a training process");
      KillWorkers(workers);
      return Status(Status::Code::kIoError, message);
    }
    const pid_t pid = fork();
    if (pid < 0) {
      const std::string message = SystemError("cannot start a training process");
      close(fds[0]);
      close(fds[1]);
      KillWorkers(workers);
      return Status(Status::Code::kNoMemory, message);
    }
    if (pid == 0) {
      close(fds[0]);
      for (const Worker& earlier : workers) close(earlier.fd);
      RunWorker(w, count, workerCount, fds[1], parent, work);
    }
    close(fds[1]);
    workers.push_back(Worker{pid, fds[0], {}});
  }
  *started = true;

  std::size_t results = 0;
  Status outcome;
  bool stop = false;
  std::vector<pollfd> polled;
  std::vector<Worker*> polledWorkers;
  char buffer[1 << 16];
  while (!stop) {
    polled.clear();
    polledWorkers.clear();
    for (Worker& worker : workers) {
      if (worker.fd < 0) continue;
      polled.push_back(pollfd{worker.fd, POLLIN, 0});
      polledWorkers.push_back(&worker);
    }
    if (polled.empty()) break;
    if (poll(polled.data(), polled.size(), -1) < 0) {
      if (errno == EINTR) continue;
      outcome = Status(Status::Code::kIoError, SystemError("cannot wait for the training processes"));
      break;
    }
    for (std::size_t i = 0; i < polled.size() && !stop; ++i) {
      if (polled[i].revents == 0) continue;
      Worker& worker = *polledWorkers[i];
      const ssize_t got = read(worker.fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        close(worker.fd);
        worker.fd = -1;
        continue;
      }
      worker.pending.append(buffer, static_cast<std::size_t>(got));
      std::size_t used = 0;
      while (!stop && worker.pending.size() - used >= sizeof(Header)) {
        Header header;
        std::memcpy(&header, worker.pending.data() + used, sizeof header);
        if (worker.pending.size() - used - sizeof header < header.size) break;
        WorkerMessage message;
        message.kind = static_cast<WorkerMessage::Kind>(header.kind);
        message.unit = static_cast<std::size_t>(header.unit);
        message.bytes = worker.pending.substr(used + sizeof header, header.size);
        used += sizeof header + header.size;
        if (message.kind == WorkerMessage::Kind::kFault) {
          int code = static_cast<int>(Status::Code::kInternal);
          if (message.bytes.size() >= sizeof code) {
            std::memcpy(&code, message.bytes.data(), sizeof code);
            message.bytes.erase(0, sizeof code);
          }
          outcome = Status(static_cast<Status::Code>(code), message.bytes);
          stop = true;
        } else {
          if (message.kind == WorkerMessage::Kind::kResult) ++results;
          if (!receive(message)) {
            outcome = Status(Status::Code::kCancelled, "cancelled");
            stop = true;
          }
        }
      }
      worker.pending.erase(0, used);
    }
  }
  if (stop || !outcome.ok()) {
    KillWorkers(workers);
    return outcome;
  }
  // Every worker has closed its pipe: each ended, well or not.
  std::string ended;
  for (Worker& worker : workers) {
    int status = 0;
    while (waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
    }
    worker.pid = -1;
    if (WIFSIGNALED(status)) {
      ended = "a training process was ended by signal " + std::to_string(WTERMSIG(status));
    } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0 && ended.empty()) {
      ended = "a training process failed";
    }
  }
  if (results < count) {
    return Status(Status::Code::kInternal,
                  ended.empty() ? "a training process ended before its work was done" : ended);
  }
  return Status::Ok();
}

#endif

}  // namespace wenlei
