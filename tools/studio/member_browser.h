// The studio's member browser: every member of the control's type
// description (properties with their current values, methods with their
// parameters, events), and for the selected member the boxes to enter a
// value or the arguments, with one button to get, put or call it through
// the dispatch layer. What came back (the result, the out-parameters or the
// automation error) is shown under the buttons and reported to the log in
// the script mode's syntax, so a run can be repeated as a script.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <optional>
#include <string_view>
#include <vector>

#include "vexq4/control/XVexCamCtrl.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;

namespace vexq4::studio {

class MemberBrowser final : public QWidget, public vexq4::control::EventSink {
  Q_OBJECT

 public:
  // The tree's columns.
  enum Column { kName, kType, kValue, kDispid };

  explicit MemberBrowser(CXVexCamCtrl& control, QWidget* parent = nullptr);
  ~MemberBrowser() override;
  MemberBrowser(const MemberBrowser&) = delete;
  MemberBrowser& operator=(const MemberBrowser&) = delete;

  // Stops listening (the control is about to go).
  void Detach();

  QTreeWidget* tree() const { return tree_; }
  // The row of a member (an event is looked up among the events).
  QTreeWidgetItem* ItemOf(const vexq4::control::MemberInfo& member) const;
  // Selects a member's row, as a click on it would.
  bool Select(const vexq4::control::MemberInfo& member);
  const vexq4::control::MemberInfo* selected() const { return selected_; }

  // The selected member's entries: -1 the property's value, 0.. its
  // parameters in order.
  void SetEntry(int index, const QString& text);
  QString Entry(int index) const;
  // An out or in/out parameter left out of the call (a missing pointer).
  void SetMissing(int index, bool missing);

  QString resultText() const;
  bool resultIsError() const { return resultIsError_; }

  // Reads every property that the control answers from its cache into the
  // value column (one whose getter asks the camera is read only by Get).
  void RefreshValues();
  // Whether reading the property reaches the camera.
  static bool GetReachesCamera(const vexq4::control::MemberInfo& member);

  // ---- EventSink: a change of any value refreshes the value column once
  // the control's call has returned.
  void OnEvent(const vexq4::control::MemberInfo& event) override;

 public slots:
  void Get();
  void Put();
  void Call();

 signals:
  // A request in the script mode's syntax ("put NAME VALUE"), sent
  // before it runs, and what it returned ("ok", "NAME=VALUE", "exception ...").
  void Requested(const QString& request);
  void Answered(const QString& outcome);

 private:
  struct ParamRow {
    QLineEdit* edit = nullptr;
    QCheckBox* missing = nullptr;
  };
  void BuildTree();
  void Filter(const QString& text);
  void ShowDetails(QTreeWidgetItem* item);
  void ShowResult(const QString& text, bool error);
  void ScheduleRefresh();
  QString ValueText() const;

  QPointer<CXVexCamCtrl> control_;
  QLineEdit* filter_ = nullptr;
  QTreeWidget* tree_ = nullptr;
  QWidget* details_ = nullptr;
  QVBoxLayout* detailsLayout_ = nullptr;
  QWidget* form_ = nullptr;  // rebuilt for every selection
  QLabel* heading_ = nullptr;
  QLabel* result_ = nullptr;
  QLineEdit* value_ = nullptr;  // a property's value (a list's own box when it has one)
  std::vector<ParamRow> params_;
  const vexq4::control::MemberInfo* selected_ = nullptr;
  bool resultIsError_ = false;
  bool refreshPending_ = false;
  int generation_ = 0;  // counts selections
};

}  // namespace vexq4::studio
