#include "line_reader.h"

#include <histedit.h>
#include <unistd.h>

#include <cerrno>
#include <cwchar>

#include "signals.h"

namespace vexq4::cli {
namespace {

constexpr int kHistoryLines = 500;
// A line longer than this is not a command; the rest is read and dropped
// so that memory stays bounded whatever comes in.
constexpr std::size_t kMaxLine = 64 * 1024;

class PlainReader final : public LineReader {
 public:
  explicit PlainReader(std::FILE* in) : in_(in) {}

  Result Read(const std::string&, std::string& line) override {
    line.clear();
    for (;;) {
      errno = 0;
      const int c = std::fgetc(in_);
      if (c == '\n') return Result::kLine;
      if (c == EOF) {
        if (std::ferror(in_) && errno == EINTR) {
          std::clearerr(in_);
          line.clear();
          return Result::kInterrupted;
        }
        return line.empty() ? Result::kEnd : Result::kLine;
      }
      if (line.size() < kMaxLine) line += static_cast<char>(c);
    }
  }
  bool edits() const override { return false; }

 private:
  std::FILE* in_;
};

class EditingReader final : public LineReader {
 public:
  explicit EditingReader(std::FILE* in)
      : editor_(el_init("vexq4", in, stdout, stderr)), history_(history_init()), fd_(::fileno(in)) {
    if (!editor_ || !history_) return;
    HistEvent event;
    history(history_.get(), &event, H_SETSIZE, kHistoryLines);
    history(history_.get(), &event, H_SETUNIQUE, 1);
    el_set(editor_.get(), EL_EDITOR, "emacs");
    el_set(editor_.get(), EL_HIST, history, history_.get());
    el_set(editor_.get(), EL_CLIENTDATA, this);
    el_set(editor_.get(), EL_PROMPT, &EditingReader::Prompt);
    el_set(editor_.get(), EL_GETCFN, &EditingReader::ReadCharacter);
    el_source(editor_.get(), nullptr);  // the user's ~/.editrc, if any
  }

  bool ok() const { return editor_ && history_; }

  Result Read(const std::string& prompt, std::string& line) override {
    prompt_ = prompt;
    line.clear();
    int count = 0;
    errno = 0;
    const char* text = el_gets(editor_.get(), &count);
    if (text == nullptr || count <= 0) {
      if (errno == EINTR) {
        el_reset(editor_.get());  // drop what was typed
        return Result::kInterrupted;
      }
      return Result::kEnd;
    }
    line.assign(text, static_cast<std::size_t>(count));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.size() > kMaxLine) line.resize(kMaxLine);
    if (line.find_first_not_of(" \t") != std::string::npos) {
      HistEvent event;
      history(history_.get(), &event, H_ENTER, line.c_str());
    }
    return Result::kLine;
  }
  bool edits() const override { return true; }

 private:
  static char* Prompt(EditLine* editor) {
    void* self = nullptr;
    el_get(editor, EL_CLIENTDATA, &self);
    return static_cast<EditingReader*>(self)->prompt_.data();
  }

  // The editor's reads, one character at a time in the terminal's encoding.
  // A Ctrl-C (or a stop) ends the line being typed whenever it comes: the
  // editor's own read() would miss one that came between two keys.
  static int ReadCharacter(EditLine* editor, wchar_t* out) {
    void* self = nullptr;
    el_get(editor, EL_CLIENTDATA, &self);
    const int fd = static_cast<EditingReader*>(self)->fd_;
    std::mbstate_t state{};
    for (;;) {
      if (!WaitForInputUnlessStopped(fd)) {
        errno = EINTR;
        return -1;
      }
      char byte = 0;
      const ssize_t n = ::read(fd, &byte, 1);
      if (n == 0) return 0;  // the end of the input
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        return -1;
      }
      const std::size_t used = std::mbrtowc(out, &byte, 1, &state);
      if (used == static_cast<std::size_t>(-2)) continue;  // more bytes of one character
      if (used == static_cast<std::size_t>(-1)) {          // not of the encoding: the byte
        *out = static_cast<wchar_t>(static_cast<unsigned char>(byte));
      }
      return 1;
    }
  }

  struct EditorEnd {
    void operator()(EditLine* e) const { el_end(e); }
  };
  struct HistoryEnd {
    void operator()(History* h) const { history_end(h); }
  };
  std::unique_ptr<EditLine, EditorEnd> editor_;
  std::unique_ptr<History, HistoryEnd> history_;
  std::string prompt_;
  int fd_;
};

}  // namespace

std::unique_ptr<LineReader> LineReader::For(std::FILE* in) {
  if (::isatty(::fileno(in)) == 1) {
    auto editing = std::make_unique<EditingReader>(in);
    if (editing->ok()) return editing;
  }
  return std::make_unique<PlainReader>(in);
}

}  // namespace vexq4::cli
