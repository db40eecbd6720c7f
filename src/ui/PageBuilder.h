#pragma once

#include <QString>
#include <QStyle>

#include <initializer_list>
#include <map>
#include <string>

class QBoxLayout;
class QDialog;
class QFormLayout;
class QGroupBox;
class QHBoxLayout;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QToolButton;
class QWidget;

namespace quorvel::ui {

/// What a field of a page takes.
enum class TFieldKind {
  Text,      ///< any text
  Digits,    ///< the digits 0-9 only (typed or pasted)
  ReadOnly,  ///< shown, not edited
  Secret,    ///< typed text shown as dots
};

/// One edit field of a page: the control's name, its label as the user sees it, what it takes
/// and its length limit in characters (0: none).
struct TFieldDef {
  const char* Name;
  const char* Label;
  TFieldKind Kind = TFieldKind::Text;
  int MaxLength = 0;
  const char* Hint = nullptr;
};

/// One push button: its name, text and hint (hint may be null).
struct TButtonDef {
  const char* Name;
  const char* Text;
  const char* Hint = nullptr;
};

/// Builds the common layout of a page from tables: a group box of labelled fields, optionally a
/// text view, and a row of buttons at the bottom right. Every control gets its name as object
/// name and its label (or text) as accessible name, so that pages differ only in their tables.
class TPageBuilder {
 public:
  /// Lays out page; groupTitle names the group box (empty: no frame title).
  TPageBuilder(QWidget* page, const QString& groupTitle);

  /// Adds the fields in order to the group box.
  void AddFields(std::initializer_list<TFieldDef> fields);
  QLineEdit* AddField(const TFieldDef& field);
  /// A multi-line text view in the group box; fixed: a fixed-pitch font; readOnly: not edited.
  QPlainTextEdit* AddText(const char* name, const char* label, bool fixed, bool readOnly);
  /// A whole-number field with arrows.
  QSpinBox* AddSpin(const char* name, const char* label, int min, int max);
  /// A group box titled title inside the page's group; the fields added next go into it.
  QGroupBox* BeginGroup(const QString& title);
  /// Adds the buttons, in order, to the row at the bottom right.
  void AddButtons(std::initializer_list<TButtonDef> buttons);
  QPushButton* AddButton(const TButtonDef& button);

  /// The field made from the table row named name (nullptr when there is none).
  QLineEdit* Field(const std::string& name) const;
  QPushButton* Button(const std::string& name) const;
  QGroupBox* Group() const { return group_; }
  QFormLayout* Form() const { return form_; }

 private:
  QWidget* page_;
  QBoxLayout* layout_;
  QGroupBox* group_;
  QFormLayout* form_;
  QHBoxLayout* buttons_;
  std::map<std::string, QLineEdit*> fields_;
  std::map<std::string, QPushButton*> buttonsByName_;
};

/// The label text without its trailing colon, as an accessible name.
QString AccessibleName(const char* label);

/// A push button named name with its text and hint (empty: none). Its accessible name is the
/// text, or the hint for a text without letters ("...").
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, const QString& hint = {});

/// A dialog's "OK" (the default button, named okName) and "Отмена" ("btnCancel", which rejects
/// the dialog) appended to row. What OK does is the dialog's own business.
void AddOkCancel(QDialog* dialog, QBoxLayout* row, QPushButton*& ok, QPushButton*& cancel,
                 const char* okName = "btnOk");
/// An icon button named name; its hint is also its accessible name.
QToolButton* MakeToolButton(QWidget* parent, const char* name, const QString& hint,
                            QStyle::StandardPixmap icon);

}  // namespace quorvel::ui
