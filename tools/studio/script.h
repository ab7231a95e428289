// The studio's script mode: one command per line against the control, with
// everything the control causes printed as it happens (events, error
// events, message boxes, file dialogs, shell opens, message lines).
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/ui_services.h"

namespace vexq4::studio {

// One word of a script line: a bare word, or a text in double quotes with
// the escapes \" \\ \r \n.
struct Token {
  QString text;
  bool quoted = false;
};
// Splits a line into tokens; nullopt when a quote is not closed or an
// escape is unknown.
std::optional<std::vector<Token>> Tokenize(const QString& line);
// A text in double quotes with the escapes above.
QString Quote(const QString& text);
// A value as the script mode prints it: a number, or a quoted text.
QString FormatValue(const vexq4::control::Value& value);
// The line an automation error prints as: exception 0xSCODE SOURCE HELP "TEXT".
QString ExceptionLine(const vexq4::control::AutomationError& error);
// A member's or parameter's name from the member table.
QString Name(std::string_view name);

class ScriptRunner final : public vexq4::control::EventSink, public vexq4::control::UiServices {
 public:
  // Prints to `out`; installs itself as the user-interface services while
  // it lives, and as the event sink of the control it is attached to.
  explicit ScriptRunner(std::FILE* out);
  ScriptRunner(CXVexCamCtrl& control, std::FILE* out) : ScriptRunner(out) { Attach(control); }
  void Attach(CXVexCamCtrl& control);
  ~ScriptRunner() override;
  ScriptRunner(const ScriptRunner&) = delete;
  ScriptRunner& operator=(const ScriptRunner&) = delete;

  // Runs one line (empty lines and comments do nothing).
  void Execute(const QString& line);
  // A line refused before it could be read as a command: printed as an
  // error line, counted with the lines that could not be run.
  void Refuse(const QString& why) { Error(why); }
  // Lines that could not be run.
  int errors() const { return errors_; }
  // Whether a line could not be written to the output, and why (errno).
  // A reader that went away (EPIPE) also calls `onClosedOutput`, once.
  int outputError() const { return outputError_; }
  void SetClosedOutputHandler(std::function<void()> handler) {
    onClosedOutput_ = std::move(handler);
  }

  // ---- EventSink.
  void OnEvent(const vexq4::control::MemberInfo& event) override;
  void OnErrorEvent(const vexq4::control::AutomationError& error, bool& cancelDisplay) override;
  void OnCommandMessage(const QString& line) override;

  // ---- UiServices.
  Answer MessageBox(QWidget* parent, const QString& caption, const QString& text, Buttons buttons,
                    Icon icon) override;
  FileOutcome FileDialog(QWidget* parent, const FileRequest& request) override;
  void OpenWithShell(const QString& target) override;
  void SetWaitCursor(bool) override {}
  QSize ScreenSize() override;

 private:
  void Print(const QString& line);
  void Error(const QString& text);
  void Get(const std::vector<Token>& words);
  void Put(const std::vector<Token>& words);
  void Call(const std::vector<Token>& words);
  void Members();
  void Ui(const std::vector<Token>& words);
  void PrintFailure(const vexq4::control::InvokeResult& result);
  const vexq4::control::MemberInfo* Member(const Token& word);

  // The host may destroy the control before the runner.
  QPointer<CXVexCamCtrl> control_;
  std::FILE* out_;
  int outputError_ = 0;
  std::function<void()> onClosedOutput_;
  int errors_ = 0;
  bool errorDisplay_ = true;
  bool messages_ = false;
  std::deque<Answer> answers_;
  std::deque<FileOutcome> files_;
};

}  // namespace vexq4::studio
