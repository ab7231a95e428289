#include "line_reader.h"

#include <histedit.h>
#include <unistd.h>

#include <cerrno>

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
      : editor_(el_init("vexq4", in, stdout, stderr)), history_(history_init()) {
    if (!editor_ || !history_) return;
    HistEvent event;
    history(history_.get(), &event, H_SETSIZE, kHistoryLines);
    history(history_.get(), &event, H_SETUNIQUE, 1);
    el_set(editor_.get(), EL_EDITOR, "emacs");
    el_set(editor_.get(), EL_HIST, history, history_.get());
    el_set(editor_.get(), EL_CLIENTDATA, this);
    el_set(editor_.get(), EL_PROMPT, &EditingReader::Prompt);
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

  struct EditorEnd {
    void operator()(EditLine* e) const { el_end(e); }
  };
  struct HistoryEnd {
    void operator()(History* h) const { history_end(h); }
  };
  std::unique_ptr<EditLine, EditorEnd> editor_;
  std::unique_ptr<History, HistoryEnd> history_;
  std::string prompt_;
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
