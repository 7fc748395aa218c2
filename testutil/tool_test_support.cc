#include "testutil/tool_test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <utility>

#include "source/source_data.h"
#include "source/source_file.h"
#include "testutil/resource_set_builder.h"
#include "text/gbk_converter.h"

extern char** environ;

namespace wenlei::testing {

WenleiProcess::WenleiProcess(const std::vector<std::string>& args, const std::string& input,
                             const Environment& environment, bool streaming) {
  const std::string inPath = capture_.path() + "/in";
  const std::string outPath = capture_.path() + "/out";
  const std::string errPath = capture_.path() + "/err";
  WriteFile(inPath, input);
  int inPipe[2] = {-1, -1}, outPipe[2] = {-1, -1};
  if (streaming && (pipe(inPipe) != 0 || pipe(outPipe) != 0)) throw std::runtime_error("pipe");

  std::vector<std::string> strings = {WENLEI_COMMAND_PATH};
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<std::string> environmentStrings;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string text = *entry;
    bool overridden = std::any_of(environment.begin(), environment.end(), [&](const auto& pair) {
      return text.compare(0, pair.first.size() + 1, pair.first + "=") == 0;
    });
    if (!overridden) environmentStrings.push_back(text);
  }
  for (const auto& [name, value] : environment) environmentStrings.push_back(name + "=" + value);
  std::vector<char*> argv, envp;
  for (auto& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  for (auto& s : environmentStrings) envp.push_back(s.data());
  envp.push_back(nullptr);

  std::fflush(nullptr);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    int in = streaming ? inPipe[0] : open(inPath.c_str(), O_RDONLY);
    int out = streaming ? outPipe[1] : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (streaming) {
      for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1]}) close(fd);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  if (streaming) {
    close(inPipe[0]);
    close(outPipe[1]);
    toChild_ = inPipe[1];
    fromChild_ = outPipe[0];
  }
}

WenleiProcess::~WenleiProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    Wait();
  }
}

void WenleiProcess::Write(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t wrote = write(toChild_, bytes.data() + done, bytes.size() - done);
    if (wrote <= 0) throw std::runtime_error("cannot write to the child");
    done += static_cast<std::size_t>(wrote);
  }
}

std::string WenleiProcess::ReadLine() {
  while (pending_.find('\n') == std::string::npos) {
    char buffer[4096];
    ssize_t got = read(fromChild_, buffer, sizeof buffer);
    if (got <= 0) break;
    pending_.append(buffer, static_cast<std::size_t>(got));
  }
  std::size_t end = pending_.find('\n');
  std::string line = pending_.substr(0, end == std::string::npos ? pending_.size() : end + 1);
  pending_.erase(0, line.size());
  return line;
}

void WenleiProcess::CloseInput() {
  if (toChild_ >= 0) close(toChild_);
  toChild_ = -1;
}

void WenleiProcess::Signal(int signalNumber) { kill(pid_, signalNumber); }

ChildOutcome WenleiProcess::Wait() {
  CloseInput();
  ChildOutcome outcome;
  if (fromChild_ >= 0) {
    char buffer[4096];
    ssize_t got;
    while ((got = read(fromChild_, buffer, sizeof buffer)) > 0) pending_.append(buffer, got);
    close(fromChild_);
    fromChild_ = -1;
  }
  int status = 0;
  if (pid_ > 0) waitpid(pid_, &status, 0);
  pid_ = -1;
  outcome.exited = WIFEXITED(status);
  outcome.status = outcome.exited ? WEXITSTATUS(status) : -WTERMSIG(status);
  outcome.out = pending_.empty() ? ReadFile(capture_.path() + "/out") : pending_;
  outcome.err = ReadFile(capture_.path() + "/err");
  return outcome;
}

ChildOutcome RunWenlei(const std::vector<std::string>& args, const std::string& input,
                       const Environment& environment) {
  WenleiProcess process(args, input, environment);
  return process.Wait();
}

namespace {

GbkConverter& Converter() {
  static std::unique_ptr<GbkConverter> converter = [] {
    std::unique_ptr<GbkConverter> made;
    if (Status opened = GbkConverter::Open(&made); !opened.ok()) {
      throw std::runtime_error(opened.message());
    }
    return made;
  }();
  return *converter;
}

}  // namespace

std::string ToGbk(const std::string& utf8) {
  std::string gbk;
  Converter().AppendGbk(utf8, &gbk);
  return gbk;
}

void BuildChineseResourceSet(const std::string& dir) {
  const std::string prefix = dir + "/";
  SourceFileContents contents;
  for (const auto& words : kClassWords) {
    for (const char* word : words) {
      contents.vocabulary.push_back(ToGbk(word));
      contents.termMap.emplace_back(ToGbk(word), "");
      contents.idf.emplace_back(ToGbk(word), 1.5);
    }
  }
  contents.classNames.push_back("NULL");
  for (const char* name : kClassNames) contents.classNames.push_back(ToGbk(name));
  SourceData sourceData;
  WriteAndLoadSourceFile(prefix, std::move(contents), &sourceData);
  std::mt19937 random(5);
  std::vector<Example> examples;
  for (int c = 0; c < 3; ++c) {
    for (int d = 0; d < 15; ++d) {
      std::vector<std::string> words;
      for (int i = 0; i < 5; ++i) words.push_back(ToGbk(kClassWords[c][random() % 6]));
      words.push_back(ToGbk(kClassWords[random() % 3][random() % 6]));
      examples.push_back(VectorisedExample(words, c + 1, sourceData));
    }
  }
  TrainAndSaveModel(examples, DefaultParameter(), prefix + kModelFileName);
}

}  // namespace wenlei::testing
