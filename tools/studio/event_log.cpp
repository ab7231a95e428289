// The event log dock's contents.
#include "event_log.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

#include "vexq4/control/controls.h"
#include "vexq4/control/ui_services.h"

namespace vexq4::studio {

namespace ctl = vexq4::control;

namespace {

// A message line is the command and its reply, each ending in CR LF; the
// log shows them on one line.
QString OneLine(const QString& text) {
  QStringList parts;
  for (const QString& part : text.split(QLatin1Char('\n'))) {
    const QString trimmed = part.trimmed();
    if (!trimmed.isEmpty()) parts << trimmed;
  }
  return parts.join(QStringLiteral(" | "));
}

}  // namespace

EventLog::EventLog(CXVexCamCtrl& control, QWidget* parent) : QWidget(parent), control_(&control) {
  setObjectName(QStringLiteral("event log"));
  view_ = new QPlainTextEdit(this);
  view_->setReadOnly(true);
  view_->setLineWrapMode(QPlainTextEdit::NoWrap);
  view_->setMaximumBlockCount(kMaxEntries);
  view_->setFont(ctl::LogFont());
  view_->setAccessibleName(QStringLiteral("Event log"));
  ctl::NameScrollParts(view_, view_->accessibleName());
  view_->setPlaceholderText(
      QStringLiteral("Events, error events and the camera's message lines appear here."));

  auto* clear = new QPushButton(QStringLiteral("Clear"), this);
  clear->setAccessibleName(clear->text());
  auto* save = new QPushButton(QStringLiteral("Save..."), this);
  save->setAccessibleName(QStringLiteral("Save"));
  connect(clear, &QPushButton::clicked, this, &EventLog::Clear);
  connect(save, &QPushButton::clicked, this, &EventLog::SaveWithDialog);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(clear);
  buttons->addWidget(save);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addLayout(buttons);
  layout->addWidget(view_);

  control.AddEventSink(this);
}

EventLog::~EventLog() { Detach(); }

void EventLog::Detach() {
  if (control_) control_->RemoveEventSink(this);
  control_ = nullptr;
}

QString EventLog::KindName(Kind kind) {
  switch (kind) {
    case Kind::kEvent:
      return QStringLiteral("event");
    case Kind::kErrorEvent:
      return QStringLiteral("error-event");
    case Kind::kMessage:
      return QStringLiteral("message");
    case Kind::kNote:
      return QStringLiteral("studio");
  }
  return {};
}

QString EventLog::Line(const Entry& entry) {
  return entry.time.toString(QStringLiteral("hh:mm:ss.zzz")) + QStringLiteral("  ") + Body(entry);
}

QString EventLog::Body(const Entry& entry) {
  return KindName(entry.kind).leftJustified(11) + QLatin1Char(' ') + entry.text;
}

void EventLog::Add(Kind kind, const QString& text) {
  Entry entry{now_ ? now_() : QDateTime::currentDateTime(), kind, text};
  view_->appendPlainText(Line(entry));
  entries_.push_back(std::move(entry));
  while (entries_.size() > static_cast<std::size_t>(kMaxEntries)) entries_.pop_front();
}

void EventLog::Note(const QString& text) { Add(Kind::kNote, text); }

void EventLog::Clear() {
  entries_.clear();
  view_->clear();
}

bool EventLog::SaveTo(const QString& path, QString* error) const {
  QByteArray text;
  for (const Entry& entry : entries_) {
    // The file says the date too: logs are kept across days.
    const QString line =
        entry.time.toString(Qt::ISODateWithMs) + QStringLiteral("  ") + Body(entry);
    text += (line + QLatin1Char('\n')).toUtf8();
  }
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return false;
  };
  // A device or a pipe is written to as it is: replacing it with a file
  // (as the atomic save would) is never what was meant.
  const QFileInfo target(path);
  if (target.exists() && !target.isFile() && !target.isDir()) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.flush())
      return fail(file.errorString());
    return true;
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return fail(file.errorString());
  if (file.write(text) != text.size() || !file.commit()) return fail(file.errorString());
  return true;
}

void EventLog::SaveWithDialog() {
  ctl::UiServices::FileRequest request;
  request.save = true;
  request.filter = QStringLiteral("Text files (*.txt)|*.txt|All files (*)|*||");
  request.defaultExtension = QStringLiteral("txt");
  const auto outcome = ctl::Ui().FileDialog(window(), request);
  if (outcome.kind != ctl::UiServices::FileOutcome::kOk) return;
  QString error;
  if (!SaveTo(outcome.path, &error))
    ctl::Ui().MessageBox(
        window(), QStringLiteral("vexq4-studio"),
        QStringLiteral("The event log could not be saved to %1:\n%2").arg(outcome.path, error),
        ctl::UiServices::Buttons::kOk, ctl::UiServices::Icon::kWarning);
}

// ---- What the control fires.
void EventLog::OnEvent(const ctl::MemberInfo& event) {
  Add(Kind::kEvent,
      QString::fromLatin1(event.name.data(), static_cast<qsizetype>(event.name.size())));
}

void EventLog::OnErrorEvent(const ctl::AutomationError& error, bool&) {
  Add(Kind::kErrorEvent, QStringLiteral("%1 %2 %3")
                             .arg(QString::asprintf("0x%08X", error.scode()))
                             .arg(error.helpContext())
                             .arg(error.description().simplified()));
}

void EventLog::OnCommandMessage(const QString& line) { Add(Kind::kMessage, OneLine(line)); }

}  // namespace vexq4::studio
