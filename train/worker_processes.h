#ifndef WENLEI_TRAIN_WORKER_PROCESSES_H_
#define WENLEI_TRAIN_WORKER_PROCESSES_H_

#include <cstddef>
#include <functional>
#include <string>

#include "util/status.h"

namespace wenlei {

// Whether the calling process runs a single thread, so that a fork of it
// cannot inherit a lock that another thread held.
bool ProcessIsSingleThreaded();

// What a worker process sends back, each message tagged with the unit of
// work it concerns.
struct WorkerMessage {
  enum class Kind : char { kNote = 'n', kResult = 'r', kFault = 'f' };
  Kind kind = Kind::kNote;
  std::size_t unit = 0;
  std::string bytes;
};

// The sending end, in a worker.  Each call returns false once the parent
// is gone.
class WorkerOutput {
 public:
  explicit WorkerOutput(int fd) : fd_(fd) {}
  bool Note(std::size_t unit, const std::string& bytes);
  bool Result(std::size_t unit, const std::string& bytes);
  bool Fault(std::size_t unit, const Status& status);
  // False once a message could not be sent: the parent is gone.
  bool connected() const { return connected_; }

 private:
  bool Send(WorkerMessage::Kind kind, std::size_t unit, const std::string& bytes);
  int fd_;
  bool connected_ = true;
};

// Runs work(u, output) for every unit u in [0, count) in `workers` forked
// copies of the calling process (unit u in worker u % workers), and hands
// every note and result to receive on the calling thread as it arrives.
// receive returns false to stop: the workers are then killed and the run
// returns kCancelled.  A fault a worker sends is returned as it came; a
// worker that ends before sending the results of all its units (killed,
// out of memory) is an error.  The workers share nothing with the caller
// after the fork: work must not call back into the caller.  When no
// process could be started (no pipe, no fork), *started is false and
// nothing was received.
Status RunInWorkerProcesses(std::size_t count, std::size_t workers,
                            const std::function<void(std::size_t, WorkerOutput&)>& work,
                            const std::function<bool(const WorkerMessage&)>& receive,
                            bool* started);

}  // namespace wenlei

#endif  // WENLEI_TRAIN_WORKER_PROCESSES_H_
