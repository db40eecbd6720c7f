#pragma once

#include "AppPage.h"
#include "PageBuilder.h"

#include <QStyle>

#include <functional>
#include <map>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quorvel {
class TPaymentSystem;
}

namespace quorvel::ui {

class TfmPaysysPage;

/// The file dialogs of the payment-system pages.
TFileDialogDef XmlFileDialog();
TFileDialogDef CyberplatKeyDialog();
TFileDialogDef KeyFileDialog();
TFileDialogDef CertificateDialog();
TFileDialogDef CodeWordDialog();

/// Which way a field travels between the model and the page.
enum class TBind {
  Both,  ///< filled when shown, copied back when left
  In,    ///< filled when shown only (a value the page shows but does not edit)
  Out,   ///< copied back only (a password the page never shows again)
  None,  ///< the page's own text, never in the model
};

/// A button beside a field ("..", "Загрузить.."): its name, text, hint and what it does.
struct TPaysysChooser {
  const char* Name = nullptr;
  const char* Text = nullptr;
  const char* Hint = nullptr;
  std::function<void(TfmPaysysPage&, QLineEdit*)> Click = {};
};

/// One field of a payment-system page: its edit, the model value it is tied to and how.
struct TPaysysField {
  TFieldDef Def = {};
  /// The model's value (called on the UI thread); null for a field of the page's own.
  std::function<std::string&()> Value = {};
  TBind Bind = TBind::Both;
  /// Starts a group box of this title before the field (null: stays in the current one).
  const char* Group = nullptr;
  /// A multi-line text view instead of a line edit.
  bool Memo = false;
  TPaysysChooser Chooser = {};
};

/// One button of the row at the bottom of a page; without Click the runner takes its clicks
/// (a stop button).
struct TPaysysButton {
  TButtonDef Def = {};
  std::function<void(TfmPaysysPage&)> Click = {};
};

/// Everything that makes one payment-system page: the tables of its fields and buttons.
struct TPaysysPageDef {
  QString Caption = {};
  QString Group = {};
  /// Its site shows as a link in the page; null: no link.
  const TPaymentSystem* System = nullptr;
  std::vector<TPaysysField> Fields = {};
  std::vector<TPaysysButton> Buttons = {};
  QStyle::StandardPixmap Icon = QStyle::SP_DriveNetIcon;
};

/// A payment-system page built from its tables. The page owns nothing of the model: it copies
/// the tied values in when shown and out when left (and before every write and save), and runs
/// the terminal and file work of each button on the runner's worker thread.
/// Threads: the UI thread.
class TfmPaysysPage : public TAppPage {
  Q_OBJECT

 public:
  TfmPaysysPage(TUiContext& context, TOperationRunner& runner, TPaysysPageDef def, QWidget* parent);

  void UpdatePage() override;
  void UpdateObject() override;
  QIcon GetImage() const override;

  /// The controls by their names (nullptr when the page has none of that name).
  QLineEdit* Field(const std::string& name) const;
  QPlainTextEdit* Memo(const std::string& name) const;
  QPushButton* Button(const std::string& name) const;
  /// The operator's site link; nullptr without one.
  QLabel* lblURL = nullptr;

  // ---- the buttons' actions, as the tables use them ----

  /// UpdateObject, then work on the worker.
  void Write(TOperationRunner::TWork work);
  /// Write for work that sends files in packets: "Прервать" (btnStop) stops it.
  void WriteFiles(TOperationRunner::TWork work);
  /// UpdateObject, work on the worker, then UpdatePage.
  void Read(TOperationRunner::TWork work);
  /// Asks for a file to open (proposing proposed); nothing when cancelled. Then UpdateObject,
  /// load(file) on the worker, UpdatePage and done after it; a failed load leaves the page as
  /// it was.
  void LoadFile(const TFileDialogDef& dialog, std::function<void(const std::string&)> load,
                const QString& proposed = {}, TOperationRunner::TWork done = {});
  /// UpdateObject, asks for a file to write; nothing when cancelled. Then save(file) on the
  /// worker.
  void SaveFile(const TFileDialogDef& dialog, std::function<void(const std::string&)> save);
  /// Asks for a file to open, starting at the edit's text; the chosen path goes into the edit.
  void ChooseFile(QLineEdit* edit, const TFileDialogDef& dialog);

 private:
  void AddField(TPageBuilder& builder, TPaysysField& field);

  TPaysysPageDef def_;
  std::map<std::string, QLineEdit*> edits_;
  std::map<std::string, QPlainTextEdit*> memos_;
  std::map<std::string, QPushButton*> buttons_;
};

}  // namespace quorvel::ui
