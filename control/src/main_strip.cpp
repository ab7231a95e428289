// The control's strip and its toolbar.
#include "vexq4/control/main_strip.h"

#include <QAction>
#include <QHBoxLayout>
#include <QProxyStyle>
#include <QToolButton>
#include <array>

#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/control/controls.h"
#include "vexq4/control/module.h"

namespace {

// The toolbar's tips wait half a second, whatever the desktop's default.
class TipDelayStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == QStyle::SH_ToolTip_WakeUpDelay) return CToolBarEx::kTipDelayMs;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

struct Button {
  const char* commandString;  // tip, line break, button text
  const char* icon;
};
constexpr std::array<Button, 4> kButtons = {{
    {"Shutter and Sync Signals\nShutter", "shutter"},
    {"Gain\nGain", "gain"},
    {"Camera Communication\nCommunication", "communication"},
    {"About RX-Q4 Camera Control Tool\nAbout", "about"},
}};

}  // namespace

CToolBarEx::CToolBarEx(QWidget* parent) : QToolBar(parent) {
  auto* style = new TipDelayStyle;
  style->setParent(this);
  setStyle(style);
  setMovable(false);
  setFloatable(false);
  setIconSize(QSize(16, 15));
  setToolButtonStyle(Qt::ToolButtonIconOnly);
  setAccessibleName(QStringLiteral("Tool windows"));
}

QString CToolBarEx::TipOf(const QString& commandString) {
  const qsizetype lineBreak = commandString.indexOf(QLatin1Char('\n'));
  return lineBreak < 0 ? commandString : commandString.left(lineBreak);
}

QString CToolBarEx::ButtonTextOf(const QString& commandString) {
  const qsizetype lineBreak = commandString.indexOf(QLatin1Char('\n'));
  return lineBreak < 0 ? commandString : commandString.mid(lineBreak + 1);
}

QAction* CToolBarEx::AddCommandButton(int command, const QString& commandString,
                                      const QIcon& icon) {
  auto* action = addAction(icon, ButtonTextOf(commandString));
  action->setCheckable(true);
  action->setData(command);
  action->setToolTip(TipOf(commandString));
  if (auto* button = widgetForAction(action)) {
    button->setAccessibleName(ButtonTextOf(commandString));
    button->setToolTip(TipOf(commandString));
    // A toolbar keeps its buttons out of the Tab order; these four are how
    // the tool windows open, so the keyboard reaches them.
    button->setFocusPolicy(Qt::TabFocus);
  }
  return action;
}

CMainDlg::CMainDlg(CXVexCamCtrl* control) : QWidget(control) {
  setObjectName(QStringLiteral("strip"));
  toolBar_ = new CToolBarEx(this);
  for (std::size_t i = 0; i < kButtons.size(); ++i) {
    const int command = CXVexCamCtrl::kToolbarCommands[i];
    buttons_[i] = toolBar_->AddCommandButton(
        command, QString::fromLatin1(kButtons[i].commandString),
        vexq4::control::ResourceIcon(QString::fromLatin1(kButtons[i].icon)));
    // The button shows the window's state; a click asks the control, which
    // sets it back through SetButtonPressed.
    connect(buttons_[i], &QAction::triggered, this, [this, control, command, i] {
      buttons_[i]->setChecked(!buttons_[i]->isChecked());
      control->OnToolbarCommand(command);
    });
  }
  // The control's properties verb: a right click on the strip (its buttons
  // included; they leave the click to the strip) offers its property page.
  properties_ = new QAction(QStringLiteral("Properties..."), this);
  connect(properties_, &QAction::triggered, this,
          [control] { vexq4::control::ShowPropertyPages(control, control); });
  addAction(properties_);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(toolBar_);
  layout->addStretch(1);
}

void CMainDlg::SetButtonPressed(int index, bool pressed) {
  buttons_[static_cast<std::size_t>(index)]->setChecked(pressed);
}

bool CMainDlg::ButtonPressed(int index) const {
  return buttons_[static_cast<std::size_t>(index)]->isChecked();
}
