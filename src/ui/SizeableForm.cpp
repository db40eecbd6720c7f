#include "SizeableForm.h"

#include <QAbstractButton>
#include <QApplication>

namespace quorvel::ui {

void TButtonSwitch::Apply(QWidget* root, bool enabled) {
  const auto buttons = root->findChildren<QAbstractButton*>();
  if (!enabled) {
    auto* focus = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
    for (QAbstractButton* b : buttons) {
      // WA_Disabled is the button's own flag, not inherited from a disabled parent.
      if (b->testAttribute(Qt::WA_Disabled)) continue;
      if (b == focus) focused_ = b;
      b->setEnabled(false);
      b->setProperty(kSwitchedOffProperty, true);
    }
    return;
  }
  for (QAbstractButton* b : buttons) {
    if (!b->property(kSwitchedOffProperty).toBool()) continue;
    b->setProperty(kSwitchedOffProperty, false);
    b->setEnabled(true);
  }
  if (focused_ && focused_->isEnabled() && focused_->isVisible()) focused_->setFocus();
  focused_ = nullptr;
}

TSizeableForm::TSizeableForm(QWidget* parent) : QWidget(parent) {}

void TSizeableForm::EnableControls(bool enabled) { switch_.Apply(this, enabled); }

void TSizeableForm::EnableChildren(QWidget* form, bool enabled) {
  for (QWidget* child : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) child->setEnabled(enabled);
}

}  // namespace quorvel::ui
