// The desktop's answers to the user-interface services.
#include "vexq4/control/ui_services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>

namespace vexq4::control {
namespace {

class DesktopServices final : public UiServices {
 public:
  Answer MessageBox(QWidget* parent, const QString& caption, const QString& text, Buttons buttons,
                    Icon icon) override {
    QMessageBox box(parent);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (icon) {
      case Icon::kNone:
        break;
      case Icon::kInformation:
        box.setIcon(QMessageBox::Information);
        break;
      case Icon::kWarning:
        box.setIcon(QMessageBox::Warning);
        break;
      case Icon::kError:
        box.setIcon(QMessageBox::Critical);
        break;
      case Icon::kQuestion:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
      case Buttons::kOk:
        box.setStandardButtons(QMessageBox::Ok);
        break;
      case Buttons::kOkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
      case Buttons::kYesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
    // The wait cursor must not hide the box's buttons.
    const bool waiting = QApplication::overrideCursor() != nullptr;
    if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box.exec();
    if (waiting) QApplication::restoreOverrideCursor();
    switch (answer) {
      case QMessageBox::Cancel:
        return Answer::kCancel;
      case QMessageBox::Yes:
        return Answer::kYes;
      case QMessageBox::No:
        return Answer::kNo;
      default:
        return buttons == Buttons::kYesNo ? Answer::kNo : Answer::kOk;
    }
  }

  FileOutcome FileDialog(QWidget* parent, const FileRequest& request) override {
    QFileDialog dialog(parent);
    dialog.setNameFilter(QtFilter(request.filter));
    dialog.setDefaultSuffix(request.defaultExtension);
    if (request.save) {
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setFileMode(QFileDialog::AnyFile);
      if (!request.overwritePrompt) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
      dialog.setAcceptMode(QFileDialog::AcceptOpen);
      dialog.setFileMode(request.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    }
    const bool waiting = QApplication::overrideCursor() != nullptr;
    if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = dialog.exec();
    if (waiting) QApplication::restoreOverrideCursor();
    FileOutcome outcome;
    if (result == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
      outcome.kind = FileOutcome::kOk;
      outcome.path = dialog.selectedFiles().constFirst();
    }
    return outcome;
  }

  void OpenWithShell(const QString& target) override {
    const QFileInfo file(target);
    const QUrl url = file.exists() ? QUrl::fromLocalFile(file.absoluteFilePath())
                                   : QUrl::fromUserInput(target, QDir::currentPath());
    QDesktopServices::openUrl(url);
  }

  void SetWaitCursor(bool on) override {
    if (on)
      QApplication::setOverrideCursor(Qt::WaitCursor);
    else
      QApplication::restoreOverrideCursor();
  }

  QSize ScreenSize() override {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->size() : QSize(1920, 1080);
  }
};

UiServices* installed = nullptr;

}  // namespace

UiServices& DesktopUiServices() {
  static DesktopServices desktop;
  return desktop;
}

UiServices& Ui() { return installed ? *installed : DesktopUiServices(); }

void SetUiServices(UiServices* services) { installed = services; }

QString DefaultCaption() { return QString::fromLatin1(kModuleName); }

UiServices::Answer ShowMessage(QWidget* parent, const QString& text, UiServices::Buttons buttons,
                               UiServices::Icon icon) {
  return Ui().MessageBox(parent, DefaultCaption(), text, buttons, icon);
}

QString QtFilter(const QString& filter) {
  // "Text (*.a)|*.a|Other (*.b)|*.b||" -> "Text (*.a);;Other (*.b)"
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    filters << (parts[i].contains(QLatin1Char('('))
                    ? parts[i]
                    : QStringLiteral("%1 (%2)").arg(
                          parts[i],
                          QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '))));
  }
  return filters.join(QStringLiteral(";;"));
}

}  // namespace vexq4::control
