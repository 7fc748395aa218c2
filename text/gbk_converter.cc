#include "text/gbk_converter.h"

#include <iconv.h>

#include <cerrno>

#include "text/utf8.h"
#include "util/process_lock.h"

namespace wenlei {
namespace {

const iconv_t kFailedOpen = reinterpret_cast<iconv_t>(-1);

iconv_t Handle(void* handle) { return static_cast<iconv_t>(handle); }

// What a conversion step stopped at.
enum class Stop { kDone, kInvalid, kIncomplete };

// Converts as much of [*in, *in + *inLeft) as it can, appending to *out and
// advancing *in past what was converted.
Stop ConvertSome(iconv_t converter, const char** in, std::size_t* inLeft, std::string* out) {
  char buffer[4096];
  while (*inLeft > 0) {
    char* outCursor = buffer;
    std::size_t outLeft = sizeof buffer;
    // POSIX declares the input as char**; the text is not written to.
    std::size_t result =
        iconv(converter, const_cast<char**>(in), inLeft, &outCursor, &outLeft);
    out->append(buffer, static_cast<std::size_t>(outCursor - buffer));
    if (result != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    if (errno == EILSEQ) return Stop::kInvalid;
    return Stop::kIncomplete;
  }
  return Stop::kDone;
}

}  // namespace

Status GbkConverter::Open(std::unique_ptr<GbkConverter>* converter) {
  ProcessWideLock lock(ProcessLockId::kCLibrary);
  iconv_t toGbk = iconv_open("GBK", "UTF-8");
  iconv_t toUtf8 = iconv_open("UTF-8", "GBK");
  if (toGbk == kFailedOpen || toUtf8 == kFailedOpen) {
    if (toGbk != kFailedOpen) iconv_close(toGbk);
    if (toUtf8 != kFailedOpen) iconv_close(toUtf8);
    return Status(Status::Code::kInternal,
                  "this system's iconv cannot convert between UTF-8 and GBK");
  }
  converter->reset(new GbkConverter(toGbk, toUtf8));
  return Status::Ok();
}

GbkConverter::~GbkConverter() {
  ProcessWideLock lock(ProcessLockId::kCLibrary);
  iconv_close(Handle(toGbk_));
  iconv_close(Handle(toUtf8_));
}

std::size_t GbkConverter::AppendGbk(std::string_view utf8, std::string* gbk) {
  iconv(Handle(toGbk_), nullptr, nullptr, nullptr, nullptr);
  const char* in = utf8.data();
  std::size_t inLeft = utf8.size();
  std::size_t dropped = 0;
  while (true) {
    Stop stop = ConvertSome(Handle(toGbk_), &in, &inLeft, gbk);
    if (stop == Stop::kDone) return dropped;
    // iconv stopped in front of a character it cannot convert: step over
    // the whole character.
    std::string_view rest(in, inLeft);
    std::size_t skip = stop == Stop::kIncomplete ? inLeft : DecodeCharacter(rest, 0).length;
    in += skip;
    inLeft -= skip;
    ++dropped;
  }
}

std::optional<std::size_t> GbkConverter::AppendUtf8(std::string_view gbk, std::string* utf8) {
  iconv(Handle(toUtf8_), nullptr, nullptr, nullptr, nullptr);
  const char* in = gbk.data();
  std::size_t inLeft = gbk.size();
  std::optional<std::size_t> firstInvalid;
  while (true) {
    Stop stop = ConvertSome(Handle(toUtf8_), &in, &inLeft, utf8);
    if (stop == Stop::kDone) return firstInvalid;
    if (!firstInvalid) firstInvalid = static_cast<std::size_t>(in - gbk.data());
    utf8->append("\xEF\xBF\xBD");
    ++in;
    --inLeft;
  }
}

}  // namespace wenlei
