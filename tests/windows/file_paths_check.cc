// Paths and opens as the Windows builds make them, run under Wine by
// scripts/windows:
//
//   file_paths_check DIRECTORY
//
// With the temporary folder moved to DIRECTORY\临时 (a Chinese name): a
// model handed to libsvm through a private copy, and one saved through a
// temporary file; the ANSI form of a folder with a Chinese name, which the
// ANSI functions open; and an open that meets a file held without sharing,
// as a replacement holds it, which succeeds once the file is let go and
// fails after a bounded wait while it is held.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "predict/loaded_model.h"
#include "svm.h"
#include "train/linear_model.h"
#include "util/file_bytes.h"
#include "util/private_copy.h"

namespace {

int failures = 0;

void Expect(bool condition, const std::string& what) {
  if (!condition) {
    std::fprintf(stderr, "file_paths_check: %s\n", what.c_str());
    ++failures;
  }
}

const char kModel[] =
    "svm_type c_svc\nkernel_type linear\nnr_class 2\ntotal_sv 2\nrho 0.1\nlabel 1 2\n"
    "probA -1\nprobB 0.1\nnr_sv 1 1\nSV\n1 1:0.5 \n-1 2:0.5 \n";

void WriteFile(const std::string& path, const std::string& bytes) {
  std::FILE* file = wenlei::OpenFile(path, "wb");
  Expect(file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size(),
         "cannot write " + path);
  if (file != nullptr) std::fclose(file);
}

void CheckTemporaryFiles(const std::string& directory) {
  std::unique_ptr<wenlei::LoadedModel> model;
  const wenlei::Status loaded = wenlei::LoadedModel::Load(directory + "\\model", kModel, &model);
  Expect(loaded.ok(), "a model through a private copy in the temporary folder: " + loaded.message());
  svm_model* parsed = svm_load_model((directory + "\\模型").c_str());
  Expect(parsed != nullptr, "libsvm cannot load a model by its UTF-8 path");
  if (parsed == nullptr) return;
  const std::string saved = directory + "\\保存的模型";
  const wenlei::Status written = wenlei::SaveSvmModel(saved, parsed);
  Expect(written.ok(), "a model saved through a temporary file: " + written.message());
  std::string bytes;
  wenlei::ReadFileBytes(saved, &bytes);
  Expect(bytes.find("\r") == std::string::npos && bytes.find("nr_sv 1 1\n") != std::string::npos,
         "the saved model is not libsvm's text with LF line ends");
  svm_free_and_destroy_model(&parsed);
}

void CheckAnsiPath(const std::string& directory) {
  const std::string ansi = wenlei::AnsiPath(directory + "\\模型");
  Expect(!ansi.empty(), "no ANSI form of " + directory + "\\模型");
  std::FILE* file = std::fopen(ansi.c_str(), "rb");
  Expect(file != nullptr, "the ANSI form " + ansi + " does not open");
  if (file != nullptr) std::fclose(file);
}

// Holds path open without sharing until let go, as MoveFileExW holds a
// file it replaces.
class ExclusiveHolder {
 public:
  explicit ExclusiveHolder(const std::string& path)
      : handle_(CreateFileW(wenlei::Utf8Path(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {
    Expect(handle_ != INVALID_HANDLE_VALUE, "cannot hold " + path);
  }
  ~ExclusiveHolder() { LetGo(); }
  void LetGo() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

void CheckOpensDuringReplacement(const std::string& directory) {
  const std::string path = directory + "\\模型";
  {
    ExclusiveHolder holder(path);
    std::thread release([&holder] {
      Sleep(50);
      holder.LetGo();
    });
    std::FILE* file = wenlei::OpenFile(path, "rb");
    release.join();
    Expect(file != nullptr, "an open failed on a file held for a moment");
    if (file != nullptr) std::fclose(file);
  }
  ExclusiveHolder holder(path);
  errno = 0;
  std::FILE* file = wenlei::OpenFile(path, "rb");
  Expect(file == nullptr && errno == EACCES, "an open of a file held for good did not fail");
  if (file != nullptr) std::fclose(file);
}

// A path joined for a message keeps the separator its directory uses.
void CheckJoinedPaths() {
  struct Case {
    const char* directory;
    const char* joined;
  };
  const Case cases[] = {
      {"C:\\sets\\help", "C:\\sets\\help\\Source.dat"},
      {"C:/sets/help", "C:/sets/help/Source.dat"},
      {"C:\\sets\\help\\", "C:\\sets\\help\\Source.dat"},
      {"help", "help\\Source.dat"},
      {"C:", "C:Source.dat"},
  };
  for (const Case& c : cases) {
    const std::string joined = wenlei::JoinPath(c.directory, "Source.dat");
    Expect(joined == c.joined, std::string(c.directory) + " joined as " + joined);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: file_paths_check DIRECTORY\n");
    return 2;
  }
  const std::string directory = argv[1];
  const std::string temporary = directory + "\\临时";
  CreateDirectoryW(wenlei::Utf8Path(temporary).c_str(), nullptr);
  for (const wchar_t* name : {L"TMP", L"TEMP"}) {
    SetEnvironmentVariableW(name, wenlei::Utf8Path(temporary).c_str());
  }
  WriteFile(directory + "\\模型", kModel);
  CheckTemporaryFiles(directory);
  CheckAnsiPath(directory);
  CheckOpensDuringReplacement(directory);
  CheckJoinedPaths();
  if (failures == 0) std::printf("file_paths_check: all checks passed\n");
  return failures == 0 ? 0 : 1;
}
