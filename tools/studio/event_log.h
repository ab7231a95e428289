// The studio's event log: every event and error event the control fires and
// every message line of its model, each with the time it happened, plus the
// studio's own notes (what the member browser asked and got back).
#pragma once

#include <QDateTime>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <deque>
#include <functional>
#include <utility>

#include "vexq4/control/XVexCamCtrl.h"

class QPlainTextEdit;

namespace vexq4::studio {

class EventLog final : public QWidget, public vexq4::control::EventSink {
  Q_OBJECT

 public:
  enum class Kind { kEvent, kErrorEvent, kMessage, kNote };
  struct Entry {
    QDateTime time;
    Kind kind;
    QString text;
  };
  // The log keeps the newest entries only, so a long session stays small.
  static constexpr int kMaxEntries = 5000;

  // Listens to `control` from now on.
  explicit EventLog(CXVexCamCtrl& control, QWidget* parent = nullptr);
  ~EventLog() override;
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  // Stops listening (the control is about to go).
  void Detach();

  const std::deque<Entry>& entries() const { return entries_; }
  // The line an entry shows: "12:03:04.567  event        <event name>".
  static QString Line(const Entry& entry);
  // The same without the time: "event        <event name>".
  static QString Body(const Entry& entry);
  static QString KindName(Kind kind);

  // Where the entries' times come from: the wall clock unless set (the
  // pictures of the guide show a fixed time, so that each is the same
  // every time it is made).
  void SetTimeSource(std::function<QDateTime()> now) { now_ = std::move(now); }

  // A line of the studio's own.
  void Note(const QString& text);
  void Clear();
  // Writes every entry, one line each, atomically; false with a reason.
  bool SaveTo(const QString& path, QString* error) const;
  // Asks for a file name (the user-interface services' file dialog) and saves.
  void SaveWithDialog();

  QPlainTextEdit* view() const { return view_; }

  // ---- EventSink.
  void OnEvent(const vexq4::control::MemberInfo& event) override;
  void OnErrorEvent(const vexq4::control::AutomationError& error, bool& cancelDisplay) override;
  void OnCommandMessage(const QString& line) override;

 private:
  void Add(Kind kind, const QString& text);

  QPointer<CXVexCamCtrl> control_;
  QPlainTextEdit* view_ = nullptr;
  std::deque<Entry> entries_;
  std::function<QDateTime()> now_;
};

}  // namespace vexq4::studio
