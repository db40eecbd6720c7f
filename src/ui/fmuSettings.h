#pragma once

#include "ComPort.h"
#include "SizeableForm.h"

#include <QDialog>

#include <functional>
#include <vector>

class QComboBox;
class QPlainTextEdit;
class QPushButton;

namespace quorvel::ui {

class TOperationRunner;
struct TUiContext;

/// "Параметры": the port of the terminal, a link test, and the doors to the device search and
/// the log settings. OK (and a link test or a search) applies the port and writes settings.xml.
class TfmSettings final : public QDialog {
  Q_OBJECT

 public:
  /// The ports listed are those of EnumComPorts, plus the port in use when it is not among them
  /// (a pseudo-terminal of the simulator, a by-id path).
  TfmSettings(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);

  /// The ports of the list; tests give their own instead of the system's.
  void SetPorts(std::vector<TComPortInfo> ports);
  /// Runs the device search dialog; tests replace it (default: a modal TfmFind).
  std::function<void(TfmSettings&)> RunSearch;

  /// The selected port becomes the driver's, then settings.xml is written.
  void Apply();
  /// Applies, then reads the hardware version and the serial number into the result lines (an
  /// error replaces the lines with its message); the status text is cleared at the end.
  void btnConnectClick();
  void btnSearchClick();
  void btnLogParamsClick();
  /// The script definitions dialog (TfmScriptSettings).
  void btnScriptsClick();

  void EnableControls(bool enabled) { switch_.Apply(this, enabled); }

  QComboBox* cbPorts = nullptr;
  QPushButton* btnConnect = nullptr;
  QPushButton* btnSearch = nullptr;
  QPushButton* btnLogParams = nullptr;
  QPushButton* btnScripts = nullptr;
  QPlainTextEdit* edtResult = nullptr;
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;

 private:
  void FillPorts();

  TUiContext& context_;
  TOperationRunner& runner_;
  TButtonSwitch switch_;
  std::vector<TComPortInfo> ports_;
};

/// One result line of the link test: the label left-aligned in 20 characters, " : ", the value.
std::string LinkTestLine(const std::string& label, const std::string& value);

}  // namespace quorvel::ui
