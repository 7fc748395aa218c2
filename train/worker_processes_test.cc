#include "train/worker_processes.h"

#include <errno.h>
#include <signal.h>
#include <sys/wait.h>

#include <map>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace wenlei {
namespace {

// What a unit of work does in its worker.
enum class Unit { kAnswers, kFaults, kDies };

TEST(WorkerProcessesTest, ResultsComeBackAndEveryWayOfEndingIsReported) {
  struct Case {
    const char* name;
    Unit unit3;                 // what unit 3 of 5 does; the others answer
    bool cancelAtFirstNote;
    Status::Code code;
    const char* messagePart;
  };
  const Case cases[] = {
      {"all answer", Unit::kAnswers, false, Status::Code::kOk, ""},
      {"cancelled", Unit::kAnswers, true, Status::Code::kCancelled, ""},
      {"a fault", Unit::kFaults, false, Status::Code::kInvalidArgument, "fold 3 is bad"},
      {"a worker killed", Unit::kDies, false, Status::Code::kInternal, "signal 9"},
  };
  for (const Case& c : cases) {
    std::map<std::size_t, std::string> results;
    std::size_t notes = 0;
    bool started = false;
    const Status status = RunInWorkerProcesses(
        5, 2,
        [&](std::size_t unit, WorkerOutput& output) {
          output.Note(unit, "starting");
          if (unit == 3 && c.unit3 == Unit::kFaults) {
            output.Fault(unit, Status(Status::Code::kInvalidArgument, "fold 3 is bad"));
            return;
          }
          if (unit == 3 && c.unit3 == Unit::kDies) raise(SIGKILL);
          output.Result(unit, std::string(unit * 1000, static_cast<char>('a' + unit)));
        },
        [&](const WorkerMessage& message) {
          if (message.kind == WorkerMessage::Kind::kNote) {
            ++notes;
            return !c.cancelAtFirstNote;
          }
          results[message.unit] = message.bytes;
          return true;
        },
        &started);
    EXPECT_TRUE(started) << c.name;
    EXPECT_EQ(status.code(), c.code) << c.name << ": " << status.message();
    EXPECT_NE(status.message().find(c.messagePart), std::string::npos) << c.name;
    if (c.code == Status::Code::kOk) {
      EXPECT_EQ(notes, 5u);
      ASSERT_EQ(results.size(), 5u);
      for (const auto& [unit, bytes] : results) {
        EXPECT_EQ(bytes, std::string(unit * 1000, static_cast<char>('a' + unit)));
      }
    }
    // Every worker has been waited for, however the run ended.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << c.name;
    EXPECT_EQ(errno, ECHILD) << c.name;
  }
}

TEST(WorkerProcessesTest, KnowsWhenTheProcessRunsOneThread) {
  EXPECT_TRUE(ProcessIsSingleThreaded());
  bool seen = true;
  std::thread other([&seen]() { seen = ProcessIsSingleThreaded(); });
  other.join();
  EXPECT_FALSE(seen);
}

}  // namespace
}  // namespace wenlei
