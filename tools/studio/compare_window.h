// File > Compare with Settings File...: each setting a settings file holds,
// with the camera's value and the file's, the differences marked in words
// and type (not by colour alone), and "Apply Differences", which sends only
// those. The model compares and applies (vexq4/model/settings_compare.h);
// this window only shows it.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <vector>

#include "vexq4/control/XVexCamCtrl.h"
#include "vexq4/model/settings_compare.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace vexq4::studio {

class CompareWindow final : public QDialog {
  Q_OBJECT

 public:
  CompareWindow(CXVexCamCtrl& control, QWidget* parent = nullptr);

  // Reads `path` and compares the camera with it; false (the reason shown
  // in the window) when the file is refused or the camera could not be read.
  bool Compare(const QString& path);
  // Asks for a settings file (the user-interface services' dialog) and
  // compares; false when none was chosen.
  bool ChooseAndCompare();
  // Sends what differs, then compares again.
  void ApplyDifferences();

  QTreeWidget* table() const { return table_; }
  QPushButton* applyButton() const { return apply_; }
  QString summary() const;
  int differences() const { return static_cast<int>(differences_); }

 private:
  void Show(const std::vector<model::Target>& targets, const model::Comparison& compared);
  void SetSummary(const QString& text);

  QPointer<CXVexCamCtrl> control_;
  QString path_;
  std::vector<model::Target> targets_;
  std::size_t differences_ = 0;
  QLabel* file_ = nullptr;
  QLabel* summary_ = nullptr;
  QTreeWidget* table_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* again_ = nullptr;
};

}  // namespace vexq4::studio
