// Bound widgets: building, initialising, refreshing and acting, row by row.
#include "bindings.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/controls.h"
#include "vexq4/control/ui_services.h"

namespace vexq4::control {

namespace {

QString Latin1(const char* text) { return text ? QString::fromLatin1(text) : QString(); }

// A spin's tooltip: the row's text with the setting's range put in.
QString SpinTip(const char* tip, const model::SettingRow& setting) {
  return Latin1(tip)
      .replace(QStringLiteral("{min}"), QString::number(setting.min))
      .replace(QStringLiteral("{max}"), QString::number(setting.max));
}

}  // namespace

BoundPage::BoundPage(std::span<const Binding> table, model::Window window)
    : table_(table.begin(), table.end()), listed_(table.size()) {
  for (const model::SettingRow& setting : model::Settings()) {
    // A setting without a key (the presets the gain boxes show) is the
    // window's own business.
    if (setting.window != window || !setting.inFile()) continue;
    const Change change = ChangeOf(setting);
    if (std::any_of(table.begin(), table.end(),
                    [change](const Binding& row) { return row.change == change; }))
      continue;
    const std::string& name = moreTexts_.emplace_back(setting.key);
    const std::string& tip =
        moreTexts_.emplace_back("Select " + name + (setting.isList() ? "" : " value, {min} ... {max}"));
    table_.push_back({.change = change,
                      .widget = setting.isList() ? BoundWidget::kList : BoundWidget::kSpin,
                      .label = name.c_str(),
                      .name = name.c_str(),
                      .tip = tip.c_str()});
  }
  widgets_.resize(table_.size());
  stored_.resize(table_.size());
  storedText_.resize(table_.size());
}

std::size_t BoundPage::IndexOf(Change change) const {
  const auto it = std::find_if(table_.begin(), table_.end(),
                               [change](const Binding& row) { return row.change == change; });
  if (it == table_.end()) qFatal("a window asked for a setting its table does not bind");
  return static_cast<std::size_t>(it - table_.begin());
}

const Binding& BoundPage::Row(Change change) const { return table_[IndexOf(change)]; }

const SettingMembers& BoundPage::Members(Change change) { return MembersOf(change); }

BoundWidgets& BoundPage::Widgets(Change change) { return widgets_[IndexOf(change)]; }

std::vector<Change> BoundPage::TableOrder(std::span<const Change> except) const {
  std::vector<Change> order;
  for (const Binding& row : table_)
    if (std::find(except.begin(), except.end(), row.change) == except.end())
      order.push_back(row.change);
  return order;
}

std::vector<Change> BoundPage::SpinRows() const {
  std::vector<Change> spins;
  for (const Binding& row : table_)
    if (row.widget == BoundWidget::kSpin) spins.push_back(row.change);
  return spins;
}

// ---- Building.

QGroupBox* BoundPage::Group(QWidget* parent, const char* title, const char* name) {
  auto* group = new QGroupBox(Latin1(title), parent);
  group->setAccessibleName(Latin1(name ? name : title));
  return group;
}

QGroupBox* BoundPage::SpinGroup(QWidget* parent, const char* title, std::span<const Change> rows) {
  QGroupBox* group = Group(parent, title);
  auto* grid = new QGridLayout(group);
  int line = 0;
  for (Change change : rows) AddSpin(grid, line++, change);
  grid->setColumnStretch(3, 1);  // box and spin button stay together
  return group;
}

void BoundPage::AddSpin(QGridLayout* grid, int line, Change change) {
  const Binding& row = Row(change);
  BoundWidgets& w = Widgets(change);
  QWidget* parent = grid->parentWidget();
  auto* label = new QLabel(Latin1(row.label), parent);
  w.box = new QLineEdit(parent);
  w.spin = new SpinButton(w.box, parent);
  label->setBuddy(w.box);
  label->setAccessibleName(Latin1(row.name) + QStringLiteral(" label"));
  w.box->setAccessibleName(Latin1(row.name));
  w.box->setToolTip(SpinTip(row.tip, *Members(change).row));
  // Wide enough for "-132" or "4095" with room to spare.
  w.box->setFixedWidth(w.box->fontMetrics().horizontalAdvance(QStringLiteral("-000000")) + 12);
  w.spin->setAccessibleName(Latin1(row.name) + QStringLiteral(" spin"));
  w.spin->setToolTip(QString::fromLatin1(kSpinTip));
  grid->addWidget(label, line, 0);
  grid->addWidget(w.box, line, 1);
  grid->addWidget(w.spin, line, 2);
  // A change of the text sends, typed or written by a spin step; one that
  // a refresh writes does not.
  connect(w.box, &QLineEdit::textChanged, this, [this, change] { OnBoxChanged(change); });
}

QGroupBox* BoundPage::RadioGroup(QWidget* parent, const char* title, Change change, bool stacked) {
  const Binding& row = Row(change);
  BoundWidgets& w = Widgets(change);
  QGroupBox* group = Group(parent, title);
  QBoxLayout* layout = stacked ? static_cast<QBoxLayout*>(new QVBoxLayout(group))
                               : static_cast<QBoxLayout*>(new QHBoxLayout(group));
  w.radios.clear();
  for (const RadioChoice& choice : row.choices) {
    if (!choice.text) break;
    auto* radio = new QRadioButton(Latin1(choice.text), group);
    radio->setAccessibleName(Latin1(choice.name ? choice.name : choice.text));
    radio->setToolTip(Latin1(choice.tip));
    const int index = static_cast<int>(w.radios.size());
    w.radios.emplace_back(radio);
    layout->addWidget(radio);
    connect(radio, &QRadioButton::clicked, this,
            [this, change, index] { RadioAction(change, index); });
  }
  if (!stacked) layout->addStretch(1);
  return group;
}

QComboBox* BoundPage::AddList(QWidget* parent, Change change) {
  const Binding& row = Row(change);
  BoundWidgets& w = Widgets(change);
  w.list = new QComboBox(parent);
  w.list->setAccessibleName(Latin1(row.name));
  w.list->setToolTip(Latin1(row.tip));
  w.list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  w.list->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  // Only the operator's choice sends: a refresh's selection does not.
  connect(w.list, &QComboBox::activated, this, [this, change](int position) {
    Act([&] {
      SetProperty(change, position);
      AfterAction(change, position);
    });
  });
  return w.list;
}

QGroupBox* BoundPage::ListGroup(QWidget* parent, const char* title, Change change) {
  const QByteArray name = QByteArray(title) + " group";
  QGroupBox* group = Group(parent, title, name.constData());
  (new QVBoxLayout(group))->addWidget(AddList(group, change));
  return group;
}

QGroupBox* BoundPage::MoreSettingsGroup(QWidget* parent) {
  if (listed_ == table_.size()) return nullptr;
  QGroupBox* group = Group(parent, "More Settings");
  auto* grid = new QGridLayout(group);
  for (std::size_t i = listed_; i < table_.size(); ++i) {
    const Binding& row = table_[i];
    const int line = static_cast<int>(i - listed_);
    if (row.widget == BoundWidget::kSpin) {
      AddSpin(grid, line, row.change);
      continue;
    }
    auto* label = new QLabel(Latin1(row.label), group);
    QComboBox* list = AddList(group, row.change);
    label->setBuddy(list);
    label->setAccessibleName(Latin1(row.name) + QStringLiteral(" label"));
    grid->addWidget(label, line, 0);
    grid->addWidget(list, line, 1, 1, 2);
  }
  grid->setColumnStretch(3, 1);
  return group;
}

StatusPicture* BoundPage::AddOnlineBar(QWidget* parent) {
  onlineBar_ = MakeOnlineBar(parent);
  return onlineBar_;
}

void BoundPage::OnDestroyWindow() {
  for (BoundWidgets& w : widgets_) w = BoundWidgets{};
  onlineBar_ = nullptr;
}

// ---- Initialisation.

void BoundPage::ShowOnlineFromControl() {
  const bool online = control()->GetIsOnline() != 0;
  if (onlineBar_)
    onlineBar_->SetState(online ? QStringLiteral("online") : QStringLiteral("offline"));
}

void BoundPage::SetRanges(std::span<const Change> order) {
  for (Change change : order) {
    const SettingMembers& members = Members(change);
    // A setting without a range query takes any 16-bit value.
    short lower = static_cast<short>(members.row->min);
    short upper = static_cast<short>(members.row->max);
    if (members.range && (control()->*members.range)(&lower, &upper) != 0) continue;
    if (SpinButton* spin = Widgets(change).spin) spin->SetRange(lower, upper);
  }
}

void BoundPage::FillList(Change change) {
  const SettingMembers& row = Members(change);
  QComboBox* list = Widgets(change).list;
  if (!list) return;
  list->clear();
  short lower = 0;
  short upper = -1;
  if ((control()->*row.range)(&lower, &upper) != 0) return;
  for (int position = lower; position <= upper; ++position) {
    QString text;
    if ((control()->*row.entry)(static_cast<short>(position), &text) == 0) list->addItem(text);
  }
  list->setCurrentIndex(-1);  // nothing selected until the first refresh
}

void BoundPage::FillMoreSettingsLists() {
  for (std::size_t i = listed_; i < table_.size(); ++i)
    if (table_[i].widget == BoundWidget::kList) FillList(table_[i].change);
}

void BoundPage::ReadProfile() {
  for (std::size_t i = 0; i < table_.size(); ++i) {
    const model::SettingRow& setting = *Members(table_[i].change).row;
    if (setting.profileByText)
      storedText_[i] = ProfileString(
          setting.key, setting.list[static_cast<std::size_t>(setting.profileDefault)]);
    else
      stored_[i] = ProfileInt(setting.key, setting.profileDefault);
  }
}

void BoundPage::Push(std::span<const Change> order) {
  for (Change change : order) {
    const std::size_t i = IndexOf(change);
    const SettingMembers& members = Members(change);
    // The values go as 16-bit numbers, as the property takes them.
    const model::SettingRow& setting = *members.row;
    try {
      if (setting.profileByText)
        (control()->*members.setText)(storedText_[i]);
      else
        (control()->*members.set)(static_cast<short>(stored_[i]));
    } catch (const AutomationError& error) {
      refused_ << QStringLiteral("[%1] %2 = %3 (%4)")
                      .arg(section(),
                           QString::fromLatin1(setting.key.data(),
                                               static_cast<qsizetype>(setting.key.size())),
                           setting.profileByText ? storedText_[i] : QString::number(stored_[i]),
                           error.description().simplified());
    }
  }
}

void BoundPage::ReportRefusedValues() {
  if (refused_.isEmpty()) return;
  const QString text = QStringLiteral(
                           "The control refused these values of its profile XVexQ4.ini and keeps "
                           "its own:\n") +
                       refused_.join(QLatin1Char('\n'));
  refused_.clear();
  ShowMessage(window(), text);
}

// ---- Operator actions.

int BoundPage::Shown(Change change) {
  BoundWidgets& w = Widgets(change);
  switch (Row(change).widget) {
    case BoundWidget::kSpin:
      return w.spin ? w.spin->Position() : 0;
    case BoundWidget::kList:
      return w.list ? w.list->currentIndex() : -1;
    case BoundWidget::kRadios:
      for (std::size_t i = 0; i < w.radios.size(); ++i)
        if (w.radios[i] && w.radios[i]->isChecked()) return static_cast<int>(i);
      return -1;
  }
  return -1;
}

void BoundPage::SetProperty(Change change, int value) {
  (control()->*Members(change).set)(static_cast<short>(value));
}

void BoundPage::RadioAction(Change change, int index) {
  Act([&] {
    SetProperty(change, index);
    AfterAction(change, index);
  });
}

void BoundPage::OnBoxChanged(Change change) {
  BoundWidgets& w = Widgets(change);
  // The model's value shown: the camera has it already.
  if (!control() || !w.spin || refreshing()) return;
  // The spin button takes its position from the text; text that is not a
  // number in range sends the position it had.
  const int position = w.spin->Position();
  Act([&] { SetProperty(change, position); });
}

// ---- Refreshing.

void BoundPage::OnRefresh(Change change, int number, const QString& text) {
  if (change == Change::OnlineStatusChanged) {
    if (onlineBar_)
      onlineBar_->SetState(number == 1 ? QStringLiteral("online") : QStringLiteral("offline"));
    return;
  }
  const auto it = std::find_if(table_.begin(), table_.end(),
                               [change](const Binding& row) { return row.change == change; });
  if (it != table_.end()) RefreshRow(*it, number, text);
}

void BoundPage::RefreshRow(const Binding& row, int number, const QString& text) {
  const std::string_view key = Members(row.change).row->key;
  switch (row.widget) {
    case BoundWidget::kSpin: {
      WriteProfile(key, number);
      // Equal to what the spin holds: the box is left as it is.
      SpinButton* spin = Widgets(row.change).spin;
      if (spin && spin->Position() != number) spin->SetPosition(number);
      return;
    }
    case BoundWidget::kRadios:
      SelectRadio(row.change, number);
      WriteProfile(key, number);
      return;
    case BoundWidget::kList:
      if (Members(row.change).row->profileByText) {
        // Searched from the top, so "1/100" finds "1/100" before "1/1000".
        int position = -1;
        if (QComboBox* list = Widgets(row.change).list) {
          for (int i = 0; i < list->count() && position < 0; ++i)
            if (list->itemText(i).startsWith(text)) position = i;
        }
        SelectListEntry(row.change, position);
        WriteProfile(key, text);
      } else {
        SelectListEntry(row.change, number);
        WriteProfile(key, number);
      }
      return;
  }
}

void BoundPage::SelectRadio(Change change, int index) {
  BoundWidgets& w = Widgets(change);
  for (std::size_t i = 0; i < w.radios.size(); ++i) {
    if (!w.radios[i]) continue;
    // Exclusive groups cannot be cleared by unchecking one radio.
    w.radios[i]->setAutoExclusive(false);
    w.radios[i]->setChecked(static_cast<int>(i) == index);
    w.radios[i]->setAutoExclusive(true);
  }
}

void BoundPage::SelectListEntry(Change change, int position) {
  QComboBox* list = Widgets(change).list;
  if (!list) return;
  list->setCurrentIndex(position >= 0 && position < list->count() ? position : -1);
}

void BoundPage::EnableSpin(Change change, bool enable) {
  BoundWidgets& w = Widgets(change);
  if (w.box) w.box->setEnabled(enable);
  if (w.spin) w.spin->setEnabled(enable);
}

}  // namespace vexq4::control
