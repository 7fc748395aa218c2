#include "interface/process_edge.h"

#include <cstdio>
#include <cstdlib>

namespace wenlei {
namespace {

void WriteAndFlush(const std::string& text, std::FILE* stream) {
  if (text.empty()) return;
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
}

std::string OwnLine(const Status& status) { return "wenlei: " + status.message() + "\n"; }

}  // namespace

std::string ExportFailureLines(const Status& status) {
  using Context = Status::Context;
  switch (status.context()) {
    case Context::kTestFileOpen:
      return "can't open input file " + status.path() + "\n";
    case Context::kResultFileOpen:
      return "can't open output file " + status.path() + "\n";
    case Context::kModelLoad:
      return "can't open model file " + status.path() + "\n";
    case Context::kModelCheck:
      // The fault first, then the line libsvm's refusal would have given.
      return OwnLine(status) + "can't open model file " + status.path() + "\n";
    case Context::kResultFileRead:
      return "Can not open filr'ResultFile.txt'.\n";
    case Context::kClassLimit:
      return "There is an error:'class1 > 36 || class2 > 36'.\n";
    case Context::kSourceFileOpen:
    case Context::kNone:
      break;
  }
  return OwnLine(status);
}

std::string ExportWarningLines(const PredictionStep::Report& report) {
  return report.probabilityDropped ? "model does not support probabiliy estimates\n" : "";
}

void ReportOrEndProcess(const Status& status, const PredictionStep::Report& report) {
  WriteAndFlush(ExportWarningLines(report), stderr);
  if (status.ok()) return;
  WriteAndFlush(ExportFailureLines(status), stderr);
  std::exit(1);
}

unsigned char ReportLoadOrEndProcess(const Status& status) {
  if (status.ok()) return 1;
  if (status.context() != Status::Context::kSourceFileOpen) {
    WriteAndFlush(OwnLine(status), stderr);
    return 0;
  }
  WriteAndFlush("open file fail.\n", stdout);
  std::exit(1);
}

}  // namespace wenlei
