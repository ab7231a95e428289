// Widgets bound to the control's properties, as the Gain and Shutter windows
// use them. A page lists the settings it shows, each in a row naming the
// notification that refreshes it and how it looks (the widget, its label,
// accessible name and tooltip); the rest comes from the setting's own
// description: the property it sets, the range or list query that fills the
// widget, its profile key and default (vexq4/model/settings.h, reached
// through the control's SettingMembers). The page's creation (read the
// profile, push the values into the control), its refreshes (write the
// profile, update the widget; nothing is sent) and the operator's actions
// (widget changed -> property set) are loops over the rows; what a window
// does beyond that lives in named functions beside its table. A setting of
// the window that its table leaves out (one added to the camera since) is
// bound all the same, shown in a group of its own and named after its key.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QString>
#include <QStringList>
#include <array>
#include <deque>
#include <span>
#include <string>
#include <vector>

#include "vexq4/control/changes.h"
#include "vexq4/control/controls.h"
#include "vexq4/control/tool_windows.h"

class CXVexCamCtrl;
class QGridLayout;
class QGroupBox;
class QWidget;

namespace vexq4::control {

// What shows a bound setting.
enum class BoundWidget {
  kSpin,    // a text box with its spin button; the spin's position is the value
  kRadios,  // radio buttons; the value is the index of the checked one
  kList,    // a drop-down list; the value is the entry's position
};

// One radio button of a kRadios row.
struct RadioChoice {
  const char* text = nullptr;
  const char* name = nullptr;  // accessible name; nullptr: the text
  const char* tip = nullptr;
};

struct Binding {
  Change change;  // the notification that refreshes the widget: its setting's
  BoundWidget widget;
  // Spins: the label beside the box. Boxes and lists: accessible name and
  // tooltip; a spin's tooltip shows its setting's range where it says
  // {min} and {max}.
  const char* label = nullptr;
  const char* name = nullptr;
  const char* tip = nullptr;
  std::array<RadioChoice, 3> choices{};
};

// What a page's window holds for one row (all of it dies with the window).
struct BoundWidgets {
  QPointer<QLineEdit> box;
  QPointer<SpinButton> spin;
  QPointer<QComboBox> list;
  std::vector<QPointer<QRadioButton>> radios;
};

// The tooltip of every spin button.
inline constexpr char kSpinTip[] = "Use spinebuttons for single steps";

// The base of the pages whose settings are bound by a table.
class BoundPage : public CToolWinDlg {
  Q_OBJECT

 public:
  // `table`: the rows the window lays out itself; `window`: the window
  // whose other settings it shows in MoreSettingsGroup.
  BoundPage(std::span<const Binding> table, model::Window window);

  // Bound rows (and the online status) refresh here; pages call it for
  // what they do not handle themselves.
  void OnRefresh(Change change, int number, const QString& text) override;

 protected:
  const Binding& Row(Change change) const;
  // The bound setting's typed members and description (key, default).
  static const SettingMembers& Members(Change change);
  BoundWidgets& Widgets(Change change);
  // The table's rows in its order, those of `except` left out: the order
  // in which the stored values go to the control.
  std::vector<Change> TableOrder(std::span<const Change> except = {}) const;
  // The spin rows in the table's order: the order of the range queries.
  std::vector<Change> SpinRows() const;

  // ---- Building the window: every widget is named and tipped from its row
  // and wired to its property.
  // A group box; `name` overrides the title as its accessible name.
  static QGroupBox* Group(QWidget* parent, const char* title, const char* name = nullptr);
  // Label, box and spin button of each row, one line each.
  QGroupBox* SpinGroup(QWidget* parent, const char* title, std::span<const Change> rows);
  void AddSpin(QGridLayout* grid, int line, Change change);
  // The radio buttons of the row, side by side (or stacked).
  QGroupBox* RadioGroup(QWidget* parent, const char* title, Change change, bool stacked = false);
  QComboBox* AddList(QWidget* parent, Change change);
  // A group holding just the row's list: the list is named after the
  // group's title, the group after it with " group".
  QGroupBox* ListGroup(QWidget* parent, const char* title, Change change);
  // The window's settings that its table leaves out, each a labelled spin
  // (a list setting: a list); nullptr when there are none.
  QGroupBox* MoreSettingsGroup(QWidget* parent);
  // The online bar across the bottom edge.
  StatusPicture* AddOnlineBar(QWidget* parent);
  void OnDestroyWindow() override;

  // ---- Initialisation steps.
  // The online bar from GetIsOnline.
  void ShowOnlineFromControl();
  // Spin ranges from the range queries, in the given order.
  void SetRanges(std::span<const Change> order);
  // A list's entries from its range and entry queries.
  void FillList(Change change);
  // The lists of MoreSettingsGroup.
  void FillMoreSettingsLists();
  // Reads every row's profile value (before anything is pushed: the pushes
  // rewrite the profile through their notifications).
  void ReadProfile();
  // Sets the stored value of each row, in the given order; a set that the
  // control rejects is noted and the next one goes on.
  void Push(std::span<const Change> order);
  // One message naming every stored value the pushes refused, if any.
  void ReportRefusedValues();

  // ---- Operator actions.
  // The value a row's widget shows now (spin position, radio, list).
  int Shown(Change change);
  // Sets the row's property to `value` (a rejected value raises).
  void SetProperty(Change change, int value);
  // After an operator's radio or list action set the row's property (a
  // window adds its own steps here).
  virtual void AfterAction(Change /*change*/, int /*value*/) {}
  // A radio as the operator clicks it: the radio's index goes to the
  // property, then AfterAction.
  void RadioAction(Change change, int index);

  // ---- Refreshing.
  void SelectRadio(Change change, int index);
  void SelectListEntry(Change change, int position);
  // Enables or disables a box together with its spin button.
  void EnableSpin(Change change, bool enable);

 private:
  std::size_t IndexOf(Change change) const;
  void RefreshRow(const Binding& row, int number, const QString& text);
  void OnBoxChanged(Change change);

  // The window's table, then a row for each setting of the window it
  // leaves out, whose names and tips live in moreTexts_.
  std::vector<Binding> table_;
  std::size_t listed_ = 0;
  std::deque<std::string> moreTexts_;
  std::vector<BoundWidgets> widgets_;
  std::vector<int> stored_;
  std::vector<QString> storedText_;
  QStringList refused_;  // stored values the pushes refused, not yet reported
  QPointer<StatusPicture> onlineBar_;
};

}  // namespace vexq4::control
