#pragma once

#include "AppPage.h"
#include "DebugBuffer.h"

#include <QPointer>

#include <memory>

class QPlainTextEdit;
class QTimer;
class QToolButton;

namespace quorvel::ui {

/// "Отладка": everything the terminal sends while the page listens on the driver's spare port
/// client, the "[debug]" lines included; refreshed once a second. The view's font, and the
/// page's placement, are kept in section "DebugForm" of Quorvel.ini.
/// Threads: the spare client's data handler appends on the port's receiving thread; the rest
/// on the UI thread.
class TfmDebug final : public TAppPage {
  Q_OBJECT

 public:
  TfmDebug(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
  /// Detaches the data handler before the buffer goes.
  ~TfmDebug() override;
  QIcon GetImage() const override;
  /// Restores the font and the control that had the focus; the port buttons follow the
  /// port's state.
  void UpdatePage() override;
  /// Stores the font, the window state and the control that has the focus.
  void UpdateObject() override;

  void btnPortOpenClick();
  void btnPortCloseClick();
  void ClearLogClick();
  void btnFontClick();
  /// Moves new text into the view (the timer calls it once a second).
  void Timer1Timer();

  QToolButton* btnPortOpen = nullptr;
  QToolButton* btnPortClose = nullptr;
  QToolButton* btnClearLog = nullptr;
  QToolButton* btnFont = nullptr;
  QPlainTextEdit* Memo = nullptr;
  QTimer* Timer1 = nullptr;

  /// The received text not yet shown (for tests and the timer).
  TDebugBuffer& Buffer() { return *buffer_; }

 private:
  // The last control of this page that had the focus: a click on the tree takes the focus
  // before the page is left.
  QPointer<QWidget> lastFocus_;
  void Listen(bool on);
  void UpdateButtons();

  std::shared_ptr<TDebugBuffer> buffer_ = std::make_shared<TDebugBuffer>();
};

}  // namespace quorvel::ui
