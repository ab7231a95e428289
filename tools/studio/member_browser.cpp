// The member browser dock.
#include "member_browser.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <limits>

#include "script.h"
#include "vexq4/control/ui_services.h"

namespace vexq4::studio {

namespace ctl = vexq4::control;

namespace {

constexpr int kMemberRole = Qt::UserRole + 1;  // index into ctl::Members()

QString DirName(ctl::ParamDir dir) {
  switch (dir) {
    case ctl::ParamDir::kIn:
      return QStringLiteral("in");
    case ctl::ParamDir::kOut:
      return QStringLiteral("out");
    case ctl::ParamDir::kInOut:
      return QStringLiteral("in/out");
  }
  return {};
}

QString ParamText(const ctl::ParamInfo& p) {
  return DirName(p.dir) + QLatin1Char(' ') + Name(ctl::TypeName(p.type)) + QLatin1Char(' ') +
         Name(p.name);
}

QString Signature(const ctl::MemberInfo& m) {
  QStringList params;
  for (const auto& p : m.params) params << ParamText(p);
  const QString type = Name(ctl::TypeName(m.type));
  switch (m.kind) {
    case ctl::MemberKind::kProperty:
      return QStringLiteral("property %1 %2").arg(type, Name(m.name));
    case ctl::MemberKind::kMethod:
      return QStringLiteral("%1 %2(%3)").arg(type, Name(m.name), params.join(QStringLiteral(", ")));
    case ctl::MemberKind::kEvent:
      return QStringLiteral("event %1").arg(Name(m.name));
  }
  return {};
}

// The text of an entry box as a value of `type`. An empty box of an out
// parameter holds 0 or the empty text (the script mode's "?").
std::optional<ctl::Value> Parse(const QString& text, ctl::VarType type, bool outParam) {
  if (type == ctl::VarType::kText) return ctl::Value(text);
  const QString t = text.trimmed();
  if (t.isEmpty() && outParam) return ctl::Value(std::int32_t{0});
  if (type == ctl::VarType::kBool) {
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
      return ctl::Value(std::int32_t{-1});
    if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
      return ctl::Value(std::int32_t{0});
  }
  bool ok = false;
  const qlonglong n = t.toLongLong(&ok, 10);
  if (!ok || n < std::numeric_limits<std::int32_t>::min() ||
      n > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  return ctl::Value(static_cast<std::int32_t>(n));
}

QString Failure(const ctl::InvokeResult& result) {
  if (result.status == ctl::InvokeResult::kException && result.error)
    return ExceptionLine(*result.error);
  return QStringLiteral("error ") + Quote(result.problem);
}

// Runs one dispatch call; nothing thrown escapes into Qt.
ctl::InvokeResult SafeInvoke(CXVexCamCtrl& control, const ctl::MemberInfo& member,
                             ctl::InvokeKind kind, std::span<ctl::Arg> args) {
  try {
    ctl::WaitCursor wait;
    return ctl::Invoke(control, member, kind, args);
  } catch (const std::exception& e) {
    ctl::InvokeResult failed;
    failed.status = ctl::InvokeResult::kWrongKind;
    failed.problem = QString::fromLocal8Bit(e.what());
    return failed;
  }
}

}  // namespace

MemberBrowser::MemberBrowser(CXVexCamCtrl& control, QWidget* parent)
    : QWidget(parent), control_(&control) {
  setObjectName(QStringLiteral("member browser"));
  filter_ = new QLineEdit(this);
  filter_->setPlaceholderText(QStringLiteral("Filter by name"));
  filter_->setAccessibleName(QStringLiteral("Filter"));
  // The clear button, as Qt's own, but with a name a screen reader says.
  QAction* clearFilter = filter_->addAction(style()->standardIcon(QStyle::SP_LineEditClearButton),
                                            QLineEdit::TrailingPosition);
  clearFilter->setText(QStringLiteral("Clear the filter"));
  clearFilter->setVisible(false);
  connect(clearFilter, &QAction::triggered, filter_, &QLineEdit::clear);
  connect(filter_, &QLineEdit::textChanged, clearFilter,
          [clearFilter](const QString& text) { clearFilter->setVisible(!text.isEmpty()); });

  tree_ = new QTreeWidget(this);
  tree_->setAccessibleName(QStringLiteral("Members"));
  tree_->setHeaderLabels({QStringLiteral("Member"), QStringLiteral("Type"), QStringLiteral("Value"),
                          QStringLiteral("DISPID")});
  tree_->setRootIsDecorated(true);
  tree_->setUniformRowHeights(true);
  tree_->setAlternatingRowColors(true);
  tree_->header()->setSectionResizeMode(kName, QHeaderView::ResizeToContents);
  tree_->header()->setSectionResizeMode(kType, QHeaderView::ResizeToContents);
  tree_->header()->setStretchLastSection(false);
  tree_->header()->setSectionResizeMode(kValue, QHeaderView::Stretch);
  tree_->header()->setSectionResizeMode(kDispid, QHeaderView::ResizeToContents);

  details_ = new QWidget(this);
  details_->setAccessibleName(QStringLiteral("Member details"));
  detailsLayout_ = new QVBoxLayout(details_);
  detailsLayout_->setContentsMargins(4, 4, 4, 4);
  heading_ = new QLabel(QStringLiteral("Select a member."), details_);
  heading_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  heading_->setWordWrap(true);
  heading_->setAccessibleName(QStringLiteral("Member"));
  result_ = new QLabel(details_);
  result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  result_->setWordWrap(true);
  result_->setAccessibleName(QStringLiteral("Result"));
  detailsLayout_->addWidget(heading_);
  detailsLayout_->addStretch();
  detailsLayout_->addWidget(result_);

  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->setObjectName(QStringLiteral("member splitter"));
  splitter->addWidget(tree_);
  splitter->addWidget(details_);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 1);
  splitter->setChildrenCollapsible(false);
  splitter->setAccessibleName(QStringLiteral("Members and details"));
  for (int i = 0; i < splitter->count(); ++i)  // a handle lies above its widget
    splitter->handle(i)->setAccessibleName(QStringLiteral("Divider above ") +
                                           splitter->widget(i)->accessibleName());

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(filter_);
  layout->addWidget(splitter);

  BuildTree();
  connect(filter_, &QLineEdit::textChanged, this, &MemberBrowser::Filter);
  connect(tree_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* item, QTreeWidgetItem*) { ShowDetails(item); });
  // A double click reads a property: the quickest look at a value.
  connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
    ShowDetails(item);
    if (selected_ && selected_->kind == ctl::MemberKind::kProperty) Get();
  });
  control.AddEventSink(this);
  RefreshValues();
}

MemberBrowser::~MemberBrowser() { Detach(); }

void MemberBrowser::Detach() {
  if (control_) control_->RemoveEventSink(this);
  control_ = nullptr;
}

void MemberBrowser::BuildTree() {
  const auto members = ctl::Members();
  int counts[3] = {0, 0, 0};
  for (const auto& m : members) ++counts[static_cast<int>(m.kind)];
  const QString titles[3] = {QStringLiteral("Properties (%1)").arg(counts[0]),
                             QStringLiteral("Methods (%1)").arg(counts[1]),
                             QStringLiteral("Events (%1)").arg(counts[2])};
  QTreeWidgetItem* groups[3];
  for (int i = 0; i < 3; ++i) {
    groups[i] = new QTreeWidgetItem(tree_, {titles[i]});
    groups[i]->setFlags(Qt::ItemIsEnabled);
    groups[i]->setFirstColumnSpanned(true);
  }
  for (std::size_t i = 0; i < members.size(); ++i) {
    const auto& m = members[i];
    auto* item = new QTreeWidgetItem(groups[static_cast<int>(m.kind)]);
    item->setText(kName, Name(m.name));
    item->setText(kDispid, QString::number(m.dispid));
    item->setTextAlignment(kDispid, Qt::AlignRight | Qt::AlignVCenter);
    item->setData(kName, kMemberRole, static_cast<int>(i));
    item->setToolTip(kName, Signature(m));
    if (m.kind == ctl::MemberKind::kMethod) {
      QStringList params;
      for (const auto& p : m.params) params << ParamText(p);
      item->setText(kType, Name(ctl::TypeName(m.type)));
      item->setText(kValue,
                    QLatin1Char('(') + params.join(QStringLiteral(", ")) + QLatin1Char(')'));
    } else if (m.kind == ctl::MemberKind::kProperty) {
      item->setText(kType, Name(ctl::TypeName(m.type)));
      if (GetReachesCamera(m)) item->setText(kValue, QStringLiteral("(Get reads the camera)"));
    }
  }
  groups[0]->setExpanded(true);
  groups[1]->setExpanded(true);
}

QTreeWidgetItem* MemberBrowser::ItemOf(const ctl::MemberInfo& member) const {
  const auto members = ctl::Members();
  for (int g = 0; g < tree_->topLevelItemCount(); ++g) {
    QTreeWidgetItem* group = tree_->topLevelItem(g);
    for (int c = 0; c < group->childCount(); ++c) {
      QTreeWidgetItem* item = group->child(c);
      const auto& m = members[static_cast<std::size_t>(item->data(kName, kMemberRole).toInt())];
      if (&m == &member) return item;
    }
  }
  return nullptr;
}

bool MemberBrowser::Select(const ctl::MemberInfo& member) {
  QTreeWidgetItem* item = ItemOf(member);
  if (!item) return false;
  tree_->setCurrentItem(item);
  return selected_ == &member;
}

void MemberBrowser::Filter(const QString& text) {
  for (int g = 0; g < tree_->topLevelItemCount(); ++g) {
    QTreeWidgetItem* group = tree_->topLevelItem(g);
    for (int c = 0; c < group->childCount(); ++c) {
      QTreeWidgetItem* item = group->child(c);
      item->setHidden(!text.isEmpty() && !item->text(kName).contains(text, Qt::CaseInsensitive));
    }
    if (!text.isEmpty()) group->setExpanded(true);
  }
}

bool MemberBrowser::GetReachesCamera(const ctl::MemberInfo& member) {
  return member.kind == ctl::MemberKind::kProperty && member.name == "UserID";
}

void MemberBrowser::RefreshValues() {
  refreshPending_ = false;
  if (!control_ || tree_->topLevelItemCount() == 0) return;
  const auto members = ctl::Members();
  QTreeWidgetItem* properties = tree_->topLevelItem(0);
  for (int c = 0; c < properties->childCount(); ++c) {
    QTreeWidgetItem* item = properties->child(c);
    const auto& m = members[static_cast<std::size_t>(item->data(kName, kMemberRole).toInt())];
    if (GetReachesCamera(m)) continue;
    const auto result = SafeInvoke(*control_, m, ctl::InvokeKind::kGet, {});
    item->setText(kValue, result.status == ctl::InvokeResult::kOk ? FormatValue(result.result)
                                                                  : Failure(result));
  }
}

void MemberBrowser::ScheduleRefresh() {
  if (refreshPending_) return;
  refreshPending_ = true;
  QTimer::singleShot(0, this, &MemberBrowser::RefreshValues);
}

void MemberBrowser::OnEvent(const ctl::MemberInfo&) { ScheduleRefresh(); }

// ---- The selected member's form.
void MemberBrowser::ShowDetails(QTreeWidgetItem* item) {
  const auto members = ctl::Members();
  const QVariant index = item ? item->data(kName, kMemberRole) : QVariant();
  const ctl::MemberInfo* member =
      index.isValid() ? &members[static_cast<std::size_t>(index.toInt())] : nullptr;
  if (member == selected_ && form_) return;
  selected_ = member;
  ++generation_;
  if (form_) {
    // Later: a call that shows a message box may still run from its button.
    detailsLayout_->removeWidget(form_);
    form_->hide();
    form_->deleteLater();
  }
  form_ = nullptr;
  value_ = nullptr;
  params_.clear();
  ShowResult(QString(), false);
  if (!member) {
    heading_->setText(QStringLiteral("Select a member."));
    return;
  }
  heading_->setText(QStringLiteral("%1   (DISPID %2)").arg(Signature(*member)).arg(member->dispid));

  form_ = new QWidget(details_);
  auto* rows = new QFormLayout;
  auto* buttons = new QHBoxLayout;
  auto* layout = new QVBoxLayout(form_);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(rows);
  layout->addLayout(buttons);
  auto addButton = [&](const QString& text, void (MemberBrowser::*slot)()) {
    auto* button = new QPushButton(text, form_);
    button->setAccessibleName(text);
    connect(button, &QPushButton::clicked, this, slot);
    buttons->addWidget(button);
    return button;
  };

  switch (member->kind) {
    case ctl::MemberKind::kProperty: {
      // A property with predefined strings offers them in a list; the box
      // takes any text all the same, as the property does.
      QWidget* box = nullptr;
      const std::vector<QString> predefined = ctl::PredefinedStrings(member->dispid);
      if (predefined.empty()) {
        value_ = new QLineEdit(form_);
        box = value_;
      } else {
        auto* list = new QComboBox(form_);
        list->setEditable(true);
        list->setInsertPolicy(QComboBox::NoInsert);
        for (const QString& text : predefined) list->addItem(text);
        value_ = list->lineEdit();
        value_->setAccessibleName(QStringLiteral("Value text"));
        box = list;
      }
      box->setAccessibleName(QStringLiteral("Value"));
      // Start from the value shown in the list (a text without its quotes).
      QString shown = item->text(kValue);
      if (member->type == ctl::VarType::kText && shown.size() >= 2 &&
          shown.startsWith(QLatin1Char('"')))
        shown = shown.mid(1, shown.size() - 2);
      value_->setText(GetReachesCamera(*member) ? QString() : shown);
      rows->addRow(QStringLiteral("Value (%1):").arg(Name(ctl::TypeName(member->type))), box);
      addButton(QStringLiteral("Get"), &MemberBrowser::Get);
      addButton(QStringLiteral("Put"), &MemberBrowser::Put);
      break;
    }
    case ctl::MemberKind::kMethod: {
      for (const auto& p : member->params) {
        ParamRow row;
        row.edit = new QLineEdit(form_);
        row.edit->setAccessibleName(Name(p.name));
        auto* line = new QHBoxLayout;
        line->addWidget(row.edit);
        if (p.dir != ctl::ParamDir::kIn) {
          row.edit->setPlaceholderText(p.type == ctl::VarType::kText ? QStringLiteral("empty")
                                                                     : QStringLiteral("0"));
          row.missing = new QCheckBox(QStringLiteral("missing"), form_);
          row.missing->setAccessibleName(Name(p.name) + QStringLiteral(": missing"));
          row.missing->setToolTip(QStringLiteral("Pass no pointer for this parameter"));
          line->addWidget(row.missing);
        }
        rows->addRow(QStringLiteral("%1 (%2 %3):")
                         .arg(Name(p.name), DirName(p.dir), Name(ctl::TypeName(p.type))),
                     line);
        params_.push_back(row);
      }
      addButton(QStringLiteral("Call"), &MemberBrowser::Call);
      break;
    }
    case ctl::MemberKind::kEvent:
      rows->addRow(
          new QLabel(QStringLiteral("Fired by the control; every firing is logged."), form_));
      break;
  }
  buttons->addStretch();
  detailsLayout_->insertWidget(1, form_);
}

void MemberBrowser::SetEntry(int index, const QString& text) {
  if (index < 0) {
    if (value_) value_->setText(text);
  } else if (static_cast<std::size_t>(index) < params_.size()) {
    params_[static_cast<std::size_t>(index)].edit->setText(text);
  }
}

QString MemberBrowser::Entry(int index) const {
  if (index < 0) return value_ ? value_->text() : QString();
  if (static_cast<std::size_t>(index) < params_.size())
    return params_[static_cast<std::size_t>(index)].edit->text();
  return {};
}

void MemberBrowser::SetMissing(int index, bool missing) {
  if (index >= 0 && static_cast<std::size_t>(index) < params_.size() &&
      params_[static_cast<std::size_t>(index)].missing)
    params_[static_cast<std::size_t>(index)].missing->setChecked(missing);
}

QString MemberBrowser::resultText() const { return result_->text(); }

void MemberBrowser::ShowResult(const QString& text, bool error) {
  resultIsError_ = error;
  result_->setText(text);
  result_->setStyleSheet(error ? QStringLiteral("color: #b00020;") : QString());
}

QString MemberBrowser::ValueText() const { return value_ ? value_->text() : QString(); }

// ---- Get, put, call.
void MemberBrowser::Get() {
  if (!control_ || !selected_ || selected_->kind != ctl::MemberKind::kProperty) return;
  const ctl::MemberInfo& m = *selected_;
  emit Requested(QStringLiteral("get ") + Name(m.name));
  const int generation = generation_;
  const auto result = SafeInvoke(*control_, m, ctl::InvokeKind::kGet, {});
  if (result.status != ctl::InvokeResult::kOk) {
    ShowResult(Failure(result), true);
    emit Answered(Failure(result));
    return;
  }
  const QString line = Name(m.name) + QLatin1Char('=') + FormatValue(result.result);
  ShowResult(line, false);
  emit Answered(line);
  if (QTreeWidgetItem* item = ItemOf(m)) item->setText(kValue, FormatValue(result.result));
  if (value_ && generation == generation_) {
    const auto* text = std::get_if<QString>(&result.result);
    value_->setText(text ? *text : FormatValue(result.result));
  }
}

void MemberBrowser::Put() {
  if (!control_ || !selected_ || selected_->kind != ctl::MemberKind::kProperty) return;
  const ctl::MemberInfo& m = *selected_;
  const auto value = Parse(ValueText(), m.type, false);
  if (!value) {
    ShowResult(QStringLiteral("\"%1\" is not a number.").arg(ValueText()), true);
    return;
  }
  emit Requested(QStringLiteral("put %1 %2").arg(Name(m.name), FormatValue(*value)));
  ctl::Arg arg{true, *value};
  const auto result = SafeInvoke(*control_, m, ctl::InvokeKind::kPut, std::span<ctl::Arg>(&arg, 1));
  const bool ok = result.status == ctl::InvokeResult::kOk;
  const QString outcome = ok ? QStringLiteral("ok") : Failure(result);
  ShowResult(outcome, !ok);
  emit Answered(outcome);
  RefreshValues();
}

void MemberBrowser::Call() {
  if (!control_ || !selected_ || selected_->kind != ctl::MemberKind::kMethod) return;
  const ctl::MemberInfo& m = *selected_;
  std::vector<ctl::Arg> args;
  QString request = QStringLiteral("call ") + Name(m.name);
  for (std::size_t i = 0; i < m.params.size() && i < params_.size(); ++i) {
    const ctl::ParamInfo& p = m.params[i];
    const ParamRow& row = params_[i];
    const bool out = p.dir != ctl::ParamDir::kIn;
    if (out && row.missing && row.missing->isChecked()) {
      args.push_back({false, {}});
      request += QStringLiteral(" null");
      continue;
    }
    const auto value = Parse(row.edit->text(), p.type, out);
    if (!value) {
      ShowResult(QStringLiteral("%1: \"%2\" is not a number.").arg(Name(p.name), row.edit->text()),
                 true);
      return;
    }
    args.push_back({true, *value});
    request += QLatin1Char(' ') +
               (out && row.edit->text().isEmpty() ? QStringLiteral("?") : FormatValue(*value));
  }
  emit Requested(request);
  const int generation = generation_;
  const auto result = SafeInvoke(*control_, m, ctl::InvokeKind::kCall, args);
  if (result.status != ctl::InvokeResult::kOk) {
    ShowResult(Failure(result), true);
    emit Answered(Failure(result));
    return;
  }
  QStringList lines;
  lines << (m.type == ctl::VarType::kVoid
                ? Name(m.name)
                : Name(m.name) + QLatin1Char('=') + FormatValue(result.result));
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (m.params[i].dir == ctl::ParamDir::kIn || !args[i].present) continue;
    lines << Name(m.params[i].name) + QLatin1Char('=') + FormatValue(args[i].value);
    // The box shows what the member wrote, ready for the next call (unless
    // the operator chose another member meanwhile).
    if (generation != generation_) continue;
    const auto* text = std::get_if<QString>(&args[i].value);
    params_[i].edit->setText(text ? *text : FormatValue(args[i].value));
  }
  ShowResult(lines.join(QLatin1Char('\n')), false);
  for (const QString& line : lines) emit Answered(line);
  RefreshValues();
}

}  // namespace vexq4::studio
