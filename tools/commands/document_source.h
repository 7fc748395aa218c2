#ifndef WENLEI_TOOLS_COMMANDS_DOCUMENT_SOURCE_H_
#define WENLEI_TOOLS_COMMANDS_DOCUMENT_SOURCE_H_

#include <cstddef>
#include <string>
#include <vector>

#include "util/document_limit.h"

#include "util/status.h"

namespace wenlei {

// The documents a command works on, one at a time: its TEXT operands, then
// the files named with --file ("-" is standard input), or standard input
// alone when neither is given.  Each is one document, or with lines set each
// of its lines is (the line end, "\n" or "\r\n", is not part of it).  Input is
// read as it is needed, so lines stream through.
class DocumentSource {
 public:
  enum class Next {
    kDocument,  // *text holds the next document
    kError,     // an input could not be read; *error says why, and the
                // source goes on with the next input
    kTooLong,   // the next document has more than maxBytes bytes: *error
                // says so, its bytes were skipped (*text keeps at most its
                // first kTooLongHeadBytes, so that a line's id can still be
                // named), and the source goes on with the document after it
    kEnd,
  };

  // maxBytes bounds a document (a line without its line end, a file, a TEXT
  // operand), and with it the memory reading takes; 0 means no bound.
  DocumentSource(std::vector<std::string> texts, std::vector<std::string> files, bool lines,
                 std::size_t maxBytes = kDefaultMaxDocumentBytes);

  // What a document may hold unless a command is told otherwise: the
  // modern interface's default.
  static constexpr std::size_t kDefaultMaxDocumentBytes = wenlei::kDefaultMaxDocumentBytes;
  static constexpr std::size_t kTooLongHeadBytes = 4096;
  ~DocumentSource();
  DocumentSource(const DocumentSource&) = delete;
  DocumentSource& operator=(const DocumentSource&) = delete;

  // *origin names where the document or error comes from, for messages:
  // "argument 2", "standard input", "line 7 of notes.txt".
  Next Read(std::string* text, std::string* origin, std::string* error);

  // True when Read would return without waiting for more input to arrive:
  // a whole line is buffered, the input has bytes or its end waiting, or the
  // input is not a stream of lines.  Lets a caller gather the documents at
  // hand into one batch without holding back an answer a reader waits for.
  bool NextIsReady();

 private:
  struct Input {
    bool isText;
    std::string value;  // the text itself, or a file name ("-" for standard input)
  };

  std::string InputName(const Input& input) const;
  Status OpenCurrent();
  void CloseCurrent();
  // Reads more bytes into buffer_; false at the end of the input, or on an
  // error with errno set.
  bool Fill();
  // The next line with its line end; false at the end of the input.  A line
  // longer than the bound sets *tooLong as soon as it crosses the bound and
  // gives its first bytes; its rest is skipped at the next call.
  bool ReadLine(std::string* line, bool* tooLong);
  std::string TooLongMessage() const;

  std::vector<Input> inputs_;
  bool lines_;
  std::size_t maxBytes_;
  std::size_t current_ = 0;  // index into inputs_
  int fd_ = -1;
  bool opened_ = false;
  bool ended_ = false;   // the current file has no more bytes
  bool failed_ = false;  // reading the current file failed
  int readErrno_ = 0;
  std::string buffer_;   // bytes read from the current file
  bool skippingLine_ = false;  // dropping the rest of a line over the bound
  std::size_t bufferStart_ = 0;  // where the bytes not yet returned start
  std::size_t lineNumber_ = 0;
  std::size_t textOffset_ = 0;  // next line's start within a TEXT operand
};

// A --max-bytes value: a whole number above 0.
bool ParseByteCount(const std::string& text, std::size_t* bytes);

// Tells a person who ran a command without input at a terminal that it waits
// for them to type (or paste) the text; says nothing otherwise.
void NoteTerminalInput(const char* program);

// A TEXT argument that names an existing file is most likely meant as the
// file: says on standard error, once per such argument, that it is taken as
// text ("classified", "segmented": what is done with it) and that --file
// reads a file.
void NoteTextsNamingFiles(const char* program, const char* done,
                          const std::vector<std::string>& texts);

}  // namespace wenlei

#endif  // WENLEI_TOOLS_COMMANDS_DOCUMENT_SOURCE_H_
