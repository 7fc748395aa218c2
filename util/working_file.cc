#include "util/working_file.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace wenlei {

#if defined(_WIN32)

std::FILE* OpenForRewrite(const char* path) { return std::fopen(path, "w"); }

void CutRewriteHere(std::FILE* file) { std::fflush(file); }

int CloseRewrite(std::FILE* file) { return std::fclose(file); }

#else

std::FILE* OpenForRewrite(const char* path) {
  // The flags of fopen's "w" without O_TRUNC.
  const int descriptor = open(path, O_WRONLY | O_CREAT, 0666);
  if (descriptor < 0) return nullptr;
  std::FILE* file = fdopen(descriptor, "w");
  if (file == nullptr) close(descriptor);
  return file;
}

void CutRewriteHere(std::FILE* file) {
  std::fflush(file);
  const off_t end = ftello(file);
  if (end >= 0) (void)!ftruncate(fileno(file), end);
}

int CloseRewrite(std::FILE* file) {
  CutRewriteHere(file);
  return std::fclose(file);
}

#endif

}  // namespace wenlei
