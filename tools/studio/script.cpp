// The script mode's commands and what they print.
#include "script.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QTimer>
#include <cerrno>
#include <limits>

#include "ui_access.h"
#include "vexq4/control/tool_windows.h"

namespace vexq4::studio {

namespace ctl = vexq4::control;
using ctl::UiServices;

std::optional<std::vector<Token>> Tokenize(const QString& line) {
  std::vector<Token> tokens;
  qsizetype i = 0;
  const qsizetype n = line.size();
  auto blank = [&](qsizetype at) {
    return line[at] == QLatin1Char(' ') || line[at] == QLatin1Char('\t');
  };
  while (i < n) {
    while (i < n && blank(i)) ++i;
    if (i >= n) break;
    Token token;
    if (line[i] == QLatin1Char('"')) {
      token.quoted = true;
      ++i;
      bool closed = false;
      while (i < n) {
        const QChar c = line[i++];
        if (c == QLatin1Char('"')) {
          closed = true;
          break;
        }
        if (c != QLatin1Char('\\')) {
          token.text += c;
          continue;
        }
        if (i >= n) return std::nullopt;
        const QChar e = line[i++];
        if (e == QLatin1Char('"') || e == QLatin1Char('\\'))
          token.text += e;
        else if (e == QLatin1Char('r'))
          token.text += QLatin1Char('\r');
        else if (e == QLatin1Char('n'))
          token.text += QLatin1Char('\n');
        else
          return std::nullopt;
      }
      if (!closed) return std::nullopt;
    } else {
      while (i < n && !blank(i)) token.text += line[i++];
    }
    tokens.push_back(std::move(token));
  }
  return tokens;
}

QString Name(std::string_view name) {
  return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

QString FormatValue(const ctl::Value& value) {
  if (const auto* n = std::get_if<std::int32_t>(&value)) return QString::number(*n);
  if (const auto* t = std::get_if<QString>(&value)) return Quote(*t);
  return {};
}

QString ExceptionLine(const ctl::AutomationError& e) {
  return QStringLiteral("exception %1 %2 %3 %4")
      .arg(QString::asprintf("0x%08X", e.scode()), e.source())
      .arg(e.helpContext())
      .arg(Quote(e.description()));
}

QString Quote(const QString& text) {
  QString quoted = QStringLiteral("\"");
  for (QChar c : text) {
    if (c == QLatin1Char('"'))
      quoted += QStringLiteral("\\\"");
    else if (c == QLatin1Char('\\'))
      quoted += QStringLiteral("\\\\");
    else if (c == QLatin1Char('\r'))
      quoted += QStringLiteral("\\r");
    else if (c == QLatin1Char('\n'))
      quoted += QStringLiteral("\\n");
    else
      quoted += c;
  }
  return quoted + QLatin1Char('"');
}

namespace {

QString Hex(std::uint32_t scode) { return QString::asprintf("0x%08X", scode); }

// A decimal integer of 32 bits.
std::optional<std::int32_t> Number(const Token& token) {
  if (token.quoted) return std::nullopt;
  bool ok = false;
  const qlonglong value = token.text.toLongLong(&ok, 10);
  if (!ok || value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::optional<ctl::Value> ValueOf(const Token& token) {
  if (token.quoted) return ctl::Value(token.text);
  if (auto n = Number(token)) return ctl::Value(*n);
  return std::nullopt;
}

QString ButtonsName(UiServices::Buttons buttons) {
  switch (buttons) {
    case UiServices::Buttons::kOk:
      return QStringLiteral("OK");
    case UiServices::Buttons::kOkCancel:
      return QStringLiteral("OKCancel");
    case UiServices::Buttons::kYesNo:
      return QStringLiteral("YesNo");
  }
  return {};
}

QString AnswerName(UiServices::Answer answer) {
  switch (answer) {
    case UiServices::Answer::kOk:
      return QStringLiteral("OK");
    case UiServices::Answer::kCancel:
      return QStringLiteral("Cancel");
    case UiServices::Answer::kYes:
      return QStringLiteral("Yes");
    case UiServices::Answer::kNo:
      return QStringLiteral("No");
  }
  return {};
}

bool Fits(UiServices::Answer answer, UiServices::Buttons buttons) {
  switch (buttons) {
    case UiServices::Buttons::kOk:
      return answer == UiServices::Answer::kOk;
    case UiServices::Buttons::kOkCancel:
      return answer == UiServices::Answer::kOk || answer == UiServices::Answer::kCancel;
    case UiServices::Buttons::kYesNo:
      return answer == UiServices::Answer::kYes || answer == UiServices::Answer::kNo;
  }
  return false;
}

UiServices::Answer FirstButton(UiServices::Buttons buttons) {
  return buttons == UiServices::Buttons::kYesNo ? UiServices::Answer::kYes
                                                : UiServices::Answer::kOk;
}

}  // namespace

ScriptRunner::ScriptRunner(std::FILE* out) : out_(out) { ctl::SetUiServices(this); }

void ScriptRunner::Attach(CXVexCamCtrl& control) {
  control_ = &control;
  control.AddEventSink(this);
}

ScriptRunner::~ScriptRunner() {
  ctl::SetUiServices(nullptr);
  if (control_) control_->RemoveEventSink(this);
}

void ScriptRunner::Print(const QString& line) {
  if (outputError_ != 0) return;  // the results are lost already
  const QByteArray bytes = line.toUtf8();
  errno = 0;
  const bool written = std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()),
                                   out_) == static_cast<std::size_t>(bytes.size()) &&
                       std::fputc('\n', out_) != EOF && std::fflush(out_) == 0;
  if (written) return;
  outputError_ = errno != 0 ? errno : EIO;
  if (outputError_ == EPIPE && onClosedOutput_) onClosedOutput_();
}

void ScriptRunner::Error(const QString& text) {
  ++errors_;
  Print(QStringLiteral("error ") + Quote(text));
}

// ---- What the control causes.
void ScriptRunner::OnEvent(const ctl::MemberInfo& event) {
  Print(QStringLiteral("event ") + Name(event.name));
}

void ScriptRunner::OnErrorEvent(const ctl::AutomationError& error, bool& cancelDisplay) {
  Print(QStringLiteral("error-event %1 %2 %3")
            .arg(Hex(error.scode()))
            .arg(error.helpContext())
            .arg(Quote(error.description())));
  if (!errorDisplay_) cancelDisplay = true;
}

void ScriptRunner::OnCommandMessage(const QString& line) {
  if (messages_) Print(QStringLiteral("message ") + Quote(line));
}

UiServices::Answer ScriptRunner::MessageBox(QWidget*, const QString& caption, const QString& text,
                                            Buttons buttons, Icon) {
  Answer answer = FirstButton(buttons);
  if (!answers_.empty()) {
    if (Fits(answers_.front(), buttons)) answer = answers_.front();
    answers_.pop_front();
  }
  Print(QStringLiteral("messagebox %1 %2 %3 -> %4")
            .arg(Quote(caption), Quote(text), ButtonsName(buttons), AnswerName(answer)));
  return answer;
}

UiServices::FileOutcome ScriptRunner::FileDialog(QWidget*, const FileRequest& request) {
  FileOutcome outcome;  // cancel when nothing is queued
  if (!files_.empty()) {
    outcome = files_.front();
    files_.pop_front();
  }
  QString shown;
  switch (outcome.kind) {
    case FileOutcome::kOk:
      shown = Quote(outcome.path);
      break;
    case FileOutcome::kCancel:
      shown = QStringLiteral("cancel");
      break;
    case FileOutcome::kFailed:
      shown = QStringLiteral("fail");
      break;
  }
  Print(QStringLiteral("filedialog %1 %2 %3 -> %4")
            .arg(request.save ? QStringLiteral("save") : QStringLiteral("open"),
                 Quote(request.filter), request.defaultExtension, shown));
  return outcome;
}

void ScriptRunner::OpenWithShell(const QString& target) {
  Print(QStringLiteral("open ") + Quote(target));
}

QSize ScriptRunner::ScreenSize() { return ctl::DesktopUiServices().ScreenSize(); }

// ---- Commands.
void ScriptRunner::Execute(const QString& rawLine) {
  QString line = rawLine;
  if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
  const QString trimmed = line.trimmed();
  if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#'))) return;

  // echo prints the rest of its line as it stands.
  static const QRegularExpression kEcho(QStringLiteral("^\\s*echo(\\s|$)"));
  if (const auto match = kEcho.match(line); match.hasMatch()) {
    Print(line.mid(match.capturedEnd()));
    return;
  }

  const auto words = Tokenize(line);
  if (!words) return Error(QStringLiteral("a quote is not closed or an escape is unknown"));
  const QString command = words->front().quoted ? QString() : words->front().text;
  const auto count = words->size();
  auto onOff = [&](bool& flag) {
    if (count != 2 ||
        (words->at(1).text != QLatin1String("on") && words->at(1).text != QLatin1String("off")))
      return Error(command + QStringLiteral(" takes on or off"));
    flag = words->at(1).text == QLatin1String("on");
  };

  const bool needsControl = command == QLatin1String("get") || command == QLatin1String("put") ||
                            command == QLatin1String("call") || command == QLatin1String("ui");
  if (needsControl && !control_) return Error(QStringLiteral("there is no control"));
  if (command == QLatin1String("get")) return Get(*words);
  if (command == QLatin1String("put")) return Put(*words);
  if (command == QLatin1String("call")) return Call(*words);
  if (command == QLatin1String("members")) {
    if (count != 1) return Error(QStringLiteral("members takes no argument"));
    return Members();
  }
  if (command == QLatin1String("ui")) return Ui(*words);
  if (command == QLatin1String("messages")) return onOff(messages_);
  if (command == QLatin1String("error-display")) return onOff(errorDisplay_);
  if (command == QLatin1String("answer")) {
    static const std::pair<const char*, Answer> kAnswers[] = {{"OK", Answer::kOk},
                                                              {"Cancel", Answer::kCancel},
                                                              {"Yes", Answer::kYes},
                                                              {"No", Answer::kNo}};
    if (count == 2)
      for (auto [text, answer] : kAnswers)
        if (words->at(1).text == QLatin1String(text)) {
          answers_.push_back(answer);
          return;
        }
    return Error(QStringLiteral("answer takes OK, Cancel, Yes or No"));
  }
  if (command == QLatin1String("file")) {
    if (count != 2) return Error(QStringLiteral("file takes a path, cancel or fail"));
    const Token& what = words->at(1);
    FileOutcome outcome;
    if (!what.quoted && what.text == QLatin1String("cancel"))
      outcome.kind = FileOutcome::kCancel;
    else if (!what.quoted && what.text == QLatin1String("fail"))
      outcome.kind = FileOutcome::kFailed;
    else {
      outcome.kind = FileOutcome::kOk;
      outcome.path = what.text;
    }
    files_.push_back(outcome);
    return;
  }
  if (command == QLatin1String("wait")) {
    const auto ms = count == 2 ? Number(words->at(1)) : std::nullopt;
    if (!ms || *ms < 0) return Error(QStringLiteral("wait takes milliseconds"));
    QEventLoop loop;
    QTimer::singleShot(*ms, &loop, &QEventLoop::quit);
    loop.exec();
    return;
  }
  Error(QStringLiteral("unknown command ") + Quote(words->front().text));
}

const ctl::MemberInfo* ScriptRunner::Member(const Token& word) {
  if (!word.quoted && word.text.startsWith(QLatin1Char('#'))) {
    bool ok = false;
    const int dispid = word.text.mid(1).toInt(&ok, 10);
    return ok ? ctl::FindMember(dispid) : nullptr;
  }
  const QByteArray name = word.text.toUtf8();
  const auto* member =
      ctl::FindMember(std::string_view(name.constData(), static_cast<std::size_t>(name.size())));
  return member && member->kind != ctl::MemberKind::kEvent ? member : nullptr;
}

void ScriptRunner::PrintFailure(const ctl::InvokeResult& result) {
  if (result.status == ctl::InvokeResult::kException) {
    Print(ExceptionLine(*result.error));
  } else {
    Error(result.problem);
  }
}

void ScriptRunner::Get(const std::vector<Token>& words) {
  if (words.size() != 2) return Error(QStringLiteral("get takes a property name"));
  const auto* member = Member(words[1]);
  if (!member) return Error(QStringLiteral("no property ") + Quote(words[1].text));
  const auto result = ctl::Invoke(*control_, *member, ctl::InvokeKind::kGet, {});
  if (result.status != ctl::InvokeResult::kOk) return PrintFailure(result);
  Print(Name(member->name) + QLatin1Char('=') + FormatValue(result.result));
}

void ScriptRunner::Put(const std::vector<Token>& words) {
  if (words.size() != 3) return Error(QStringLiteral("put takes a property name and a value"));
  const auto* member = Member(words[1]);
  if (!member) return Error(QStringLiteral("no property ") + Quote(words[1].text));
  const auto value = ValueOf(words[2]);
  if (!value) return Error(QStringLiteral("not a number or a quoted text: ") + words[2].text);
  ctl::Arg arg{true, *value};
  const auto result =
      ctl::Invoke(*control_, *member, ctl::InvokeKind::kPut, std::span<ctl::Arg>(&arg, 1));
  if (result.status != ctl::InvokeResult::kOk) return PrintFailure(result);
  Print(QStringLiteral("ok"));
}

void ScriptRunner::Call(const std::vector<Token>& words) {
  if (words.size() < 2) return Error(QStringLiteral("call takes a method name"));
  const auto* member = Member(words[1]);
  if (!member) return Error(QStringLiteral("no method ") + Quote(words[1].text));
  std::vector<ctl::Arg> args;
  for (std::size_t i = 2; i < words.size(); ++i) {
    const Token& word = words[i];
    const bool outParam =
        i - 2 < member->params.size() && member->params[i - 2].dir != ctl::ParamDir::kIn;
    if (!word.quoted && (word.text == QLatin1String("?") || word.text == QLatin1String("null"))) {
      if (!outParam) return Error(word.text + QStringLiteral(" is only for out-parameters"));
      const bool present = word.text == QLatin1String("?");
      ctl::Value initial;
      if (present)
        initial = member->params[i - 2].type == ctl::VarType::kText ? ctl::Value(QString())
                                                                    : ctl::Value(std::int32_t{0});
      args.push_back({present, initial});
      continue;
    }
    const auto value = ValueOf(word);
    if (!value) return Error(QStringLiteral("not a number or a quoted text: ") + word.text);
    args.push_back({true, *value});
  }
  const auto result = ctl::Invoke(*control_, *member, ctl::InvokeKind::kCall, args);
  if (result.status != ctl::InvokeResult::kOk) return PrintFailure(result);
  const QString name = Name(member->name);
  Print(member->type == ctl::VarType::kVoid ? name
                                            : name + QLatin1Char('=') + FormatValue(result.result));
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (member->params[i].dir == ctl::ParamDir::kIn || !args[i].present) continue;
    Print(Name(member->params[i].name) + QLatin1Char('=') + FormatValue(args[i].value));
  }
}

void ScriptRunner::Members() {
  for (const auto& m : ctl::Members())
    Print(QStringLiteral("%1 %2 %3").arg(m.dispid).arg(Name(ctl::KindName(m.kind)), Name(m.name)));
}

void ScriptRunner::Ui(const std::vector<Token>& words) {
  if (words.size() < 2) return Error(QStringLiteral("ui takes a window command"));
  const QString verb = words[1].text;
  const auto count = words.size();
  if (verb == QLatin1String("windows")) {
    if (count != 2) return Error(QStringLiteral("ui windows takes no argument"));
    for (int i = 0; i < ctl::kToolWindowCount; ++i) {
      QWidget* frame = control_->FrameWindow(i);
      Print(QStringLiteral("window %1 %2")
                .arg(Quote(control_->Frame(i).caption()), frame && frame->isVisible()
                                                              ? QStringLiteral("shown")
                                                              : QStringLiteral("hidden")));
    }
    Print(QStringLiteral("ok"));
    return;
  }
  if (count < 3) return Error(QStringLiteral("ui %1 takes a window").arg(verb));
  QWidget* window = FindWindow(*control_, words[2].text);
  if (!window) return Error(QStringLiteral("no window ") + Quote(words[2].text));

  auto done = [&](std::optional<QString> problem) {
    if (problem) return Error(*problem);
    Print(QStringLiteral("ok"));
  };
  auto expect = [&](std::size_t n, const char* usage) {
    if (count == n) return true;
    Error(QStringLiteral("usage: ui ") + QLatin1String(usage));
    return false;
  };

  if (verb == QLatin1String("dump")) {
    if (!expect(3, "dump WINDOW")) return;
    for (QWidget* w : NamedWidgets(window)) {
      QString line =
          QStringLiteral("%1 %2 %3 %4 %5")
              .arg(KindOf(w), Quote(w->accessibleName()),
                   w->isEnabled() ? QStringLiteral("enabled") : QStringLiteral("disabled"),
                   IsShownIn(w, window) ? QStringLiteral("shown") : QStringLiteral("hidden"),
                   Quote(TextOf(w)));
      if (IsReadOnly(w)) line += QStringLiteral(" readonly");
      Print(line);
    }
    return done(std::nullopt);
  }
  if (verb == QLatin1String("tips")) {
    if (!expect(3, "tips WINDOW")) return;
    for (QWidget* w : NamedWidgets(window))
      if (!w->toolTip().isEmpty())
        Print(QStringLiteral("tip %1 %2").arg(Quote(w->accessibleName()), Quote(w->toolTip())));
    return done(std::nullopt);
  }
  if (verb == QLatin1String("entries")) {
    if (!expect(4, "entries WINDOW NAME")) return;
    std::vector<QString> entries;
    if (auto problem = studio::Entries(window, words[3].text, entries)) return Error(*problem);
    for (const auto& e : entries) Print(QStringLiteral("entry ") + Quote(e));
    return done(std::nullopt);
  }
  if (verb == QLatin1String("click")) {
    if (!expect(4, "click WINDOW NAME")) return;
    return done(studio::Click(window, words[3].text));
  }
  if (verb == QLatin1String("select")) {
    if (!expect(5, "select WINDOW NAME TEXT")) return;
    return done(studio::Select(window, words[3].text, words[4].text));
  }
  if (verb == QLatin1String("text")) {
    if (!expect(5, "text WINDOW NAME TEXT")) return;
    return done(studio::SetText(window, words[3].text, words[4].text));
  }
  if (verb == QLatin1String("spin")) {
    if (!expect(5, "spin WINDOW NAME up|down")) return;
    const QString& way = words[4].text;
    if (way != QLatin1String("up") && way != QLatin1String("down"))
      return Error(QStringLiteral("ui spin takes up or down"));
    return done(studio::Spin(window, words[3].text, way == QLatin1String("up")));
  }
  if (verb == QLatin1String("close") || verb == QLatin1String("escape")) {
    if (!expect(3, "close|escape WINDOW")) return;
    const int index = [&] {
      for (int i = 0; i < ctl::kToolWindowCount; ++i)
        if (control_->FrameWindow(i) == window) return i;
      return -1;
    }();
    if (index < 0) return Error(QStringLiteral("only a tool window has a frame to ") + verb);
    if (verb == QLatin1String("close")) {
      window->close();
    } else {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QCoreApplication::sendEvent(window, &press);
    }
    return done(std::nullopt);
  }
  Error(QStringLiteral("unknown window command ") + Quote(verb));
}

}  // namespace vexq4::studio
