// The link label, the spin button and the status pictures.
#include "vexq4/control/controls.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "vexq4/control/ui_services.h"

namespace vexq4::control {

QFont LogFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  const QFont application = QApplication::font();
  if (application.pointSizeF() > font.pointSizeF()) font.setPointSizeF(application.pointSizeF());
  return font;
}

QIcon ResourceIcon(const QString& name) {
  return QIcon(QStringLiteral(":/vexq4/%1.svg").arg(name));
}

QPixmap ResourcePixmap(const QString& name, QSize size) {
  // Drawn to exactly this size: the online bar stretches across its window.
  QSvgRenderer renderer(QStringLiteral(":/vexq4/%1.svg").arg(name));
  QPixmap pixmap(size.isValid() && !size.isEmpty() ? size : renderer.defaultSize());
  pixmap.fill(Qt::transparent);
  if (renderer.isValid()) {
    QPainter painter(&pixmap);
    renderer.render(&painter);
  }
  return pixmap;
}

}  // namespace vexq4::control

// ---- CLabel.
CLabel::CLabel(QWidget* parent) : QLabel(parent) { setFocusPolicy(Qt::StrongFocus); }

void CLabel::EnableClickOpen(bool enable) {
  linkEnabled_ = enable;
  setFocusPolicy(enable ? Qt::StrongFocus : Qt::NoFocus);
}

void CLabel::SetPointerCursor(bool pointingHand) {
  if (pointingHand)
    setCursor(Qt::PointingHandCursor);
  else
    unsetCursor();
}

void CLabel::SetLabelColour(const QColor& colour) {
  QPalette p = palette();
  p.setColor(QPalette::WindowText, colour);
  setPalette(p);
  repaint();
}

void CLabel::SetUnderline(bool underline) {
  QFont f = font();
  f.setUnderline(underline);
  setFont(f);
  repaint();
}

void CLabel::SetBlink(Blink kind, int periodMs) {
  if (blink_ == kBlinkText && kind != kBlinkText) setText(savedText_);
  blink_ = kind;
  phase_ = false;
  if (kind == kBlinkText) savedText_ = text();
  if (kind == kNoBlink) {
    if (timer_) timer_->stop();
    update();
    return;
  }
  if (!timer_) {
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, &CLabel::OnBlinkTimer);
  }
  timer_->start(periodMs);
}

void CLabel::OnBlinkTimer() {
  if (blink_ == kNoBlink) return;
  phase_ = !phase_;
  if (blink_ == kBlinkText)
    setText(phase_ ? QString() : savedText_);
  else
    repaint();
}

void CLabel::Click() {
  if (linkEnabled_) vexq4::control::Ui().OpenWithShell(text());
}

void CLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) Click();
  QLabel::mousePressEvent(event);
}

void CLabel::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (linkEnabled_ && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
    if (!event->isAutoRepeat()) Click();
    event->accept();
    return;
  }
  QLabel::keyPressEvent(event);
}

void CLabel::paintEvent(QPaintEvent* event) {
  if (blink_ == kBlinkBackground && !phase_) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Highlight));
  }
  QLabel::paintEvent(event);
  if (hasFocus()) {
    // Where the keyboard is: the style's focus frame around the text.
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.backgroundColor = palette().color(QPalette::Window);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
  }
}

// ---- SpinButton.
SpinButton::SpinButton(QLineEdit* buddy, QWidget* parent) : QWidget(parent), buddy_(buddy) {
  up_ = new QToolButton(this);
  down_ = new QToolButton(this);
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  for (auto* arrow : {up_, down_}) {
    arrow->setAutoRepeat(true);
    arrow->setFocusPolicy(Qt::NoFocus);
    arrow->setFixedSize(16, 11);
  }
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(up_);
  layout->addWidget(down_);
  connect(up_, &QToolButton::clicked, this, [this] { StepBy(1); });
  connect(down_, &QToolButton::clicked, this, [this] { StepBy(-1); });
  if (buddy_) buddy_->installEventFilter(this);
}

void SpinButton::SetRange(int lower, int upper) {
  lower_ = std::min(lower, upper);
  upper_ = std::max(lower, upper);
  position_ = std::clamp(position_, lower_, upper_);
}

int SpinButton::Position() {
  if (buddy_) {
    bool ok = false;
    const int value = buddy_->text().trimmed().toInt(&ok, 10);
    if (ok && value >= lower_ && value <= upper_) position_ = value;
  }
  return position_;
}

void SpinButton::SetPosition(int position) {
  position_ = std::clamp(position, lower_, upper_);
  if (buddy_) buddy_->setText(QString::number(position_));
}

void SpinButton::StepBy(int steps) {
  if (!isEnabled()) return;
  SetPosition(Position() + steps);
}

bool SpinButton::eventFilter(QObject* watched, QEvent* event) {
  // The type first: the box sends events while it is being destroyed, when
  // it is no longer a QLineEdit that the pointer may be compared as.
  if (event->type() == QEvent::KeyPress && watched == buddy_) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      if (!buddy_->isReadOnly()) StepBy(key == Qt::Key_Up ? 1 : -1);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void SpinButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    up_->setEnabled(isEnabled());
    down_->setEnabled(isEnabled());
  }
  QWidget::changeEvent(event);
}

// ---- StatusPicture.
StatusPicture::StatusPicture(QWidget* parent, QSize size, QString resourcePrefix)
    : QLabel(parent), prefix_(std::move(resourcePrefix)) {
  if (size.isValid()) setFixedSize(size);
}

void StatusPicture::SetState(const QString& state) {
  state_ = state;
  QString shown = state;
  shown.replace(QLatin1Char('-'), QLatin1Char(' '));
  setAccessibleDescription(shown.isEmpty() ? QStringLiteral("off") : shown);
  Render();
}

void StatusPicture::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Render();
}

void StatusPicture::Render() {
  if (state_.isEmpty())
    clear();
  else
    setPixmap(vexq4::control::ResourcePixmap(prefix_ + state_, size()));
}

namespace vexq4::control {

StatusPicture* MakeOnlineBar(QWidget* parent) {
  auto* bar = new StatusPicture(parent, QSize(), QStringLiteral("bar-"));
  bar->setFixedHeight(6);
  bar->setMinimumWidth(40);
  bar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  bar->setAccessibleName(QStringLiteral("online bar"));
  bar->SetState(QStringLiteral("offline"));
  return bar;
}

void SetIndicatorText(QLabel* label, const QString& text) {
  label->setText(text);
  label->setAccessibleDescription(text);
}

void NameScrollParts(QAbstractScrollArea* box, const QString& name) {
  const std::pair<QScrollBar*, QString> bars[] = {
      {box->verticalScrollBar(), QStringLiteral(": vertical scroll bar")},
      {box->horizontalScrollBar(), QStringLiteral(": horizontal scroll bar")}};
  for (const auto& [bar, suffix] : bars) {
    bar->setAccessibleName(name + suffix);
    // The area that holds the bar (Qt's own widget around it).
    if (QWidget* holder = bar->parentWidget(); holder && holder != box)
      holder->setAccessibleName(name + suffix + QStringLiteral(" area"));
  }
  box->viewport()->setAccessibleName(name + QStringLiteral(": contents"));
}

}  // namespace vexq4::control
