#include "tools/host/resource_set.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "source/source_file.h"
#include "util/file_bytes.h"

namespace wenlei {

std::string ResourceFilePath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

Status CheckResourceDirectory(const std::string& dir) {
  std::error_code code;
  if (!std::filesystem::is_directory(dir, code)) {
    return Status(Status::Code::kNotFound, "no resource set at " + dir + " (not a directory)");
  }
  for (const char* name : {"Source.dat", "SVMModel"}) {
    const std::string path = ResourceFilePath(dir, name);
    if (!std::filesystem::is_regular_file(path, code)) {
      return Status(Status::Code::kNotFound, "the resource set " + dir + " has no " + name);
    }
    if (access(path.c_str(), R_OK) != 0) {
      return Status(Status::Code::kIoError, "cannot read " + path + ": " + std::strerror(errno));
    }
  }
  return Status::Ok();
}

Status ReadModelHeader(const std::string& path, ModelHeader* header) {
  // Read whole, as a FIFO or a device read line by line could block or
  // never end.
  std::string text;
  const Status read = ReadFileBytes(path, &text);
  if (!read.ok()) return read;
  std::istringstream file(text);
  std::string line;
  bool sawType = false;
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    std::string key;
    fields >> key;
    if (key == "SV") {
      if (!sawType) break;
      return Status::Ok();
    }
    if (key == "svm_type") {
      fields >> header->svmType;
      sawType = true;
    } else if (key == "kernel_type") {
      fields >> header->kernelType;
    } else if (key == "nr_class") {
      fields >> header->classCount;
    } else if (key == "total_sv") {
      fields >> header->supportVectors;
    } else if (key == "label") {
      int label;
      while (fields >> label) header->labels.push_back(label);
    } else if (key == "probA") {
      header->probability = true;
    } else if (!sawType) {
      break;  // a model starts with svm_type
    }
  }
  return Status(Status::Code::kCorrupt, path + " is not a libsvm model");
}

Status Vocabulary::Load(const std::string& path) {
  std::FILE* file = OpenFile(path, "rb");
  if (file == nullptr) {
    return Status(Status::Code::kIoError, "cannot open " + path + ": " + std::strerror(errno));
  }
  SourceFileContents contents;
  const Status read = ReadSourceFile(file, &contents);
  std::fclose(file);
  if (!read.ok()) {
    return Status(Status::Code::kCorrupt, path + " is not a valid resource file: " + read.message());
  }
  words_.clear();
  words_.reserve(contents.vocabulary.size());
  for (auto& word : contents.vocabulary) words_.insert(std::move(word));
  return Status::Ok();
}

}  // namespace wenlei
