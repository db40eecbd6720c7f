#pragma once

#include <QPointer>
#include <QWidget>

class QAbstractButton;

namespace quorvel::ui {

/// The property TButtonSwitch sets on the buttons it turned off, so that only those come back
/// on.
inline constexpr const char* kSwitchedOffProperty = "quorvelSwitchedOff";

/// The busy switch of a form's buttons. Disabling turns off every push button of root (at any
/// depth) that is enabled by itself and marks it, and remembers the focused one; enabling turns
/// on only the marked buttons, so a button that was off before stays off, and gives the focus
/// back. Other controls are not touched. Threads: the UI thread.
class TButtonSwitch {
 public:
  void Apply(QWidget* root, bool enabled);

 private:
  QPointer<QAbstractButton> focused_;
};

/// Base of every form of the program.
class TSizeableForm : public QWidget {
  Q_OBJECT

 public:
  explicit TSizeableForm(QWidget* parent = nullptr);

  /// Disables (false) or re-enables (true) the form's push buttons; see TButtonSwitch.
  virtual void EnableControls(bool enabled);

  /// Sets the enabled state of every direct child widget of form (the firmware update turns
  /// the main window's other controls off with it while it runs).
  static void EnableChildren(QWidget* form, bool enabled);

 private:
  TButtonSwitch switch_;
};

}  // namespace quorvel::ui
