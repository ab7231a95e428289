// Checks of a window as an operator meets it, shared by the tests of the
// tool windows and the studio: what a screen reader finds in it (through
// Qt's accessibility interfaces, which the accessibility bus serves), and
// whether every text is shown whole.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "vexq4/control/controls.h"

namespace vexq4::testing {

// Runs the event loop until `done` holds or five seconds have passed.
inline bool WaitFor(const std::function<bool()>& done) {
  QDeadlineTimer deadline(5000);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

struct AccessibleNode {
  QAccessibleInterface* iface;
  std::string name;
  QAccessible::Role role;
  std::string path;   // the names from the window down, for messages
  std::string scope;  // the path of the window (or dock, or menu) it is in
};

// Entries of lists, tables and menus are the data they show; they are named
// by their texts and are not widgets of the window.
inline bool IsDataItem(QAccessible::Role role) {
  switch (role) {
    case QAccessible::Cell:
    case QAccessible::Row:
    case QAccessible::ListItem:
    case QAccessible::TreeItem:
    case QAccessible::ColumnHeader:
    case QAccessible::RowHeader:
      return true;
    default:
      return false;
  }
}

// A window of its own inside the tree: a dock (it floats as a window), a
// menu (it pops up as one).
inline bool OpensScope(QAccessible::Role role) {
  return role == QAccessible::Window || role == QAccessible::Dialog ||
         role == QAccessible::PopupMenu;
}

// Every interface below `window`'s, as a screen reader walks them.
inline std::vector<AccessibleNode> AccessibleTree(QWidget* window) {
  std::vector<AccessibleNode> nodes;
  std::function<void(QAccessibleInterface*, const std::string&, const std::string&)> walk =
      [&](QAccessibleInterface* parent, const std::string& path, const std::string& scope) {
        for (int i = 0; i < parent->childCount(); ++i) {
          QAccessibleInterface* child = parent->child(i);
          if (!child || !child->isValid() || IsDataItem(child->role())) continue;
          const std::string name = child->text(QAccessible::Name).toStdString();
          const std::string here = path + " > " + (name.empty() ? "(unnamed)" : name);
          nodes.push_back({child, name, child->role(), here, scope});
          walk(child, here, OpensScope(child->role()) ? here : scope);
        }
      };
  QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window);
  if (root) {
    const std::string name = root->text(QAccessible::Name).toStdString();
    walk(root, name, name);
  }
  return nodes;
}

inline const AccessibleNode* FindNode(const std::vector<AccessibleNode>& nodes,
                                      const std::string& name, QAccessible::Role role) {
  for (const auto& node : nodes)
    if (node.name == name && node.role == role) return &node;
  return nullptr;
}

// Every part of the window has a name (plain containers aside, and a list's
// drop-down, which Qt presents as part of its list), and no two in one
// window (or dock, or menu) share one, except a caption and the one field
// it captions: STUDIO.md names a field after its label or group, and an
// indicator's picture and text alike; a dock or a menu is titled like what
// opens it or what it holds.
inline void ExpectEveryPartNamedOnce(QWidget* window) {
  const auto nodes = AccessibleTree(window);
  ASSERT_FALSE(nodes.empty());
  struct Count {
    int captions = 0;
    int fields = 0;
  };
  std::map<std::pair<std::string, std::string>, Count> counts;
  for (const auto& node : nodes) {
    const bool container = node.role == QAccessible::Client || node.role == QAccessible::Separator;
    QAccessibleInterface* parent = node.iface->parent();
    const bool dropDown =
        node.role == QAccessible::List && parent && parent->role() == QAccessible::ComboBox;
    if (container || dropDown) continue;
    EXPECT_FALSE(node.name.empty()) << "unnamed " << node.role << " at " << node.path;
    if (node.name.empty()) continue;
    const bool caption = node.role == QAccessible::StaticText ||
                         node.role == QAccessible::Grouping || OpensScope(node.role);
    Count& count = counts[{node.scope, node.name}];
    (caption ? count.captions : count.fields) += 1;
    EXPECT_LE(count.captions, 1) << "two captions named \"" << node.name << "\" in " << node.scope;
    EXPECT_LE(count.fields, 1) << "two widgets named \"" << node.name << "\" in " << node.scope;
  }
}

// Nothing shown is smaller than its text needs (a cut label, a group's
// title) or lies over a shown sibling.
inline void ExpectNothingCutOrOverlapping(QWidget* window) {
  auto what = [](QWidget* w) {
    std::string text = w->accessibleName().toStdString();
    if (auto* label = qobject_cast<QLabel*>(w); label && text.empty())
      text = label->text().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(w); button && text.empty())
      text = button->text().toStdString();
    return text + " (" + w->metaObject()->className() + ")";
  };
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(window) || w->isWindow()) continue;
    // Parts that a widget places itself (a list's field, a box's scroll
    // bars) are its own business; the widgets the window lays out are ours.
    QWidget* parent = w->parentWidget();
    if (!parent->layout() || parent->layout()->indexOf(w) < 0) continue;
    if (w->objectName().startsWith(QLatin1String("qt_"))) continue;  // Qt's frame parts
    // A picture or an arrow made to a fixed size keeps it; a text needs room.
    const bool fixed = w->minimumSize() == w->maximumSize();
    const QSize need = w->minimumSizeHint();
    if (need.isValid() && !fixed) {
      EXPECT_GE(w->width(), need.width()) << what(w);
      EXPECT_GE(w->height(), need.height()) << what(w);
    }
    if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
      if (label->wordWrap())
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << what(w);
      else
        EXPECT_GE(label->width(), label->sizeHint().width()) << what(w);
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w); button && !button->text().isEmpty()) {
      EXPECT_GE(button->width(), button->sizeHint().width()) << what(w);
    }
    EXPECT_TRUE(parent->rect().contains(w->geometry())) << what(w);
    for (QWidget* other : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (other == w || !other->isVisibleTo(window) || other->isWindow() ||
          parent->layout()->indexOf(other) < 0)
        continue;
      EXPECT_FALSE(w->geometry().intersects(other->geometry()))
          << what(w) << " over " << what(other);
    }
  }
}

}  // namespace vexq4::testing
