#pragma once

#include "AppPage.h"

#include <functional>
#include <memory>
#include <string>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace quorvel {
class TOrtena;
class TTransferProgress;
}  // namespace quorvel

namespace quorvel::ui {

class TXmlHighlighter;

/// What tells the provider page from the phone-base page: its caption and object name, and
/// the facade's two transfers of its file (bytes as the terminal keeps them).
struct TXmlDataKind {
  const char* Caption;
  const char* Name;
  void (TOrtena::*Write)(const std::string& bytes);
  std::string (TOrtena::*Read)();
};

/// "Провайдеры": the terminal's provider XML file.
extern const TXmlDataKind kXmlDataKind;
/// "База номеров": the terminal's phone-number base.
extern const TXmlDataKind kPhonesKind;

/// A page that moves one of the terminal's own data files between an XML-highlighted editor,
/// files on disk and the terminal. The file is windows-1251 text everywhere outside the
/// editor: it is converted once on the way in and once on the way out, so valid bytes come
/// back unchanged, and a character windows-1251 cannot hold is refused, named in the message,
/// before anything is sent or written. Lines leave the editor joined with CR LF. A transfer
/// shows its packets done (of the total when writing) below the editor as the driver reports
/// them. Nothing is kept in the application document.
class TfmXmlData final : public TAppPage {
  Q_OBJECT

 public:
  TfmXmlData(TUiContext& context, TOperationRunner& runner, const TXmlDataKind& kind,
             QWidget* parent = nullptr);
  ~TfmXmlData() override;
  QIcon GetImage() const override;

  /// The editor's text for the terminal or a file, lines joined with CR LF (UTF-8; the
  /// conversion to windows-1251 is the operation's first step).
  std::string EditorText() const;
  /// Replaces the editor's text with windows-1251 bytes.
  void SetEditorBytes(const std::string& bytes);

  /// The page's write operation with the editor's text; the status is cleared in any case.
  void btnWriteClick();
  /// The page's read operation; the editor takes the result (also an empty one) only after
  /// a successful read.
  void btnReadClick();
  /// A file chosen in the open dialog into the editor; "Файл пустой" for an empty file, and
  /// the editor keeps its text on any error.
  void btnOpenClick();
  /// The editor's text into the file chosen in the save dialog (an empty text: empty file).
  void btnSaveClick();
  void btnClearClick();

  const TXmlDataKind& Kind() const { return kind_; }

  QPlainTextEdit* seData = nullptr;
  TXmlHighlighter* Highlighter = nullptr;
  QPushButton* btnWrite = nullptr;
  QPushButton* btnRead = nullptr;
  QPushButton* btnOpen = nullptr;
  QPushButton* btnSave = nullptr;
  QPushButton* btnClear = nullptr;
  /// "Прервать": on while a transfer runs.
  QPushButton* btnStop = nullptr;
  /// Packets of the last transfer finished: the bar and "Пакетов: <done> из <total>" (the
  /// total only when writing).
  QProgressBar* pbTransfer = nullptr;
  QLabel* lblTransfer = nullptr;

 private:
  // Runs on the worker: opens the progress with its total and moves the file.
  using TTransfer = std::function<void(TOrtena&, TTransferProgress&)>;
  void RunTransfer(TTransfer transfer, TOperationRunner::TWork done);
  void Stopped() override;
  void ShowTransfer();

  const TXmlDataKind& kind_;
  std::shared_ptr<TTransferProgress> progress_;
};

}  // namespace quorvel::ui
