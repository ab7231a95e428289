// The control in virtual time against the simulated camera on COM1, with a
// private profile folder and user-interface services that answer from a
// queue and record what they were asked: what the tests of the control and
// of its windows start from.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QSize>
#include <QString>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "test_dir.h"
#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/ui_services.h"
#include "vexq4/platform/ini_file.h"
#include "vexq4/sim/virtual_link.h"

namespace vexq4::testing {

class FakeUi final : public control::UiServices {
 public:
  struct Box {
    QString caption;
    QString text;
    Buttons buttons;
  };
  std::deque<Answer> answers;     // taken in order; else the first button
  std::deque<FileOutcome> files;  // taken in order; else Cancel
  std::vector<Box> boxes;
  std::vector<FileRequest> dialogs;
  std::vector<QString> opened;
  int waitCursor = 0;  // depth
  int waitCursorUses = 0;
  QSize screen{1920, 1080};

  FakeUi() { control::SetUiServices(this); }
  ~FakeUi() override { control::SetUiServices(nullptr); }

  Answer MessageBox(QWidget*, const QString& caption, const QString& text, Buttons buttons,
                    Icon) override {
    boxes.push_back({caption, text, buttons});
    if (!answers.empty()) {
      const Answer a = answers.front();
      answers.pop_front();
      return a;
    }
    return buttons == Buttons::kYesNo ? Answer::kYes : Answer::kOk;
  }
  FileOutcome FileDialog(QWidget*, const FileRequest& request) override {
    dialogs.push_back(request);
    if (files.empty()) return {};
    const FileOutcome f = files.front();
    files.pop_front();
    return f;
  }
  void OpenWithShell(const QString& target) override { opened.push_back(target); }
  void SetWaitCursor(bool on) override {
    waitCursor += on ? 1 : -1;
    if (on) ++waitCursorUses;
  }
  QSize ScreenSize() override { return screen; }

  void QueueFile(const std::string& path) {
    files.push_back({FileOutcome::kOk, QString::fromStdString(path)});
  }
};

// Events, error events and message lines of one control, in order.
class RecordingSink final : public control::EventSink {
 public:
  std::vector<std::string> events;
  std::vector<control::AutomationError> errors;
  std::vector<std::string> messages;
  bool cancelDisplay = false;

  void OnEvent(const control::MemberInfo& event) override { events.emplace_back(event.name); }
  void OnErrorEvent(const control::AutomationError& error, bool& cancel) override {
    errors.push_back(error);
    if (cancelDisplay) cancel = true;
  }
  void OnCommandMessage(const QString& line) override { messages.push_back(line.toStdString()); }
  int Count(const std::string& event) const {
    int n = 0;
    for (const auto& e : events) n += e == event ? 1 : 0;
    return n;
  }
  void Clear() {
    events.clear();
    errors.clear();
    messages.clear();
  }
};

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class ControlTest : public ::testing::Test {
 protected:
  TestDir dir{"vexq4-control"};
  ScopedEnv profileDir{"VEXQ4_PROFILE_DIR", dir.path().string()};
  FakeUi ui;
  // The link outlives the control: the model closes its port on the way out.
  std::unique_ptr<sim::VirtualLink> link = std::make_unique<sim::VirtualLink>(sim::Config{}, 1);
  std::unique_ptr<CXVexCamCtrl> control;
  RecordingSink sink;

  void TearDown() override {
    if (control) control->RemoveEventSink(&sink);
    control.reset();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // A new control (its tool windows initialise at once), listened to.
  CXVexCamCtrl& MakeControl() {
    control = std::make_unique<CXVexCamCtrl>();
    control->AddEventSink(&sink);
    return *control;
  }
  // Connected to the simulated camera, with nothing recorded yet.
  CXVexCamCtrl& MakeOnlineControl() {
    MakeControl();
    control->SetComPort(1);
    sink.Clear();
    link->camera().ClearLog();
    return *control;
  }

  std::string Profile(const char* section, const char* key) const {
    return platform::GetProfileString(dir / "XVexQ4.ini", section, key, "<missing>");
  }
  void SetProfile(const char* section, const char* key, const std::string& value) {
    platform::WriteProfileString(dir / "XVexQ4.ini", section, key, value);
  }
  // Lines the camera received since the last ClearLog, without CR LF.
  std::vector<std::string> Wire() {
    std::vector<std::string> texts;
    for (const auto& line : link->camera().log()) texts.push_back(line.text);
    return texts;
  }
  // Runs the deferred deletions and posted events (window rebuilds).
  static void Settle() {
    QApplication::sendPostedEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
  }
};

}  // namespace vexq4::testing
