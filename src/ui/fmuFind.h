#pragma once

#include "DeviceSearch.h"

#include <QDialog>

#include <atomic>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace quorvel::ui {

/// "Поиск устройства": probes the checked ports for a terminal on a worker thread; a
/// double-click on a row where one answered chooses that port.
/// Threads: the search reports on its worker thread; every list update is passed to the UI
/// thread. Stopping waits on the UI thread for the running probe to end.
class TfmFind final : public QDialog {
  Q_OBJECT

 public:
  /// ports: the rows (the system's serial ports in the program); chosenPath: the port in use.
  TfmFind(std::vector<TComPortInfo> ports, std::string chosenPath, QWidget* parent = nullptr);
  /// Stops a running search.
  ~TfmFind() override;

  void btnStartClick();
  void btnStopClick();
  void btnCloseClick();
  void btnCheckPortsClick();
  void btnClearPortsClick();
  void ListViewDblClick(QTreeWidgetItem* item);

  /// A search has been run in this dialog.
  bool HasRun() const { return search_.HasRun(); }
  /// The port chosen: the one in use, or the row double-clicked after a terminal answered there.
  const std::string& ChosenPath() const { return chosenPath_; }
  /// A search runs.
  bool Searching() const { return search_.Running(); }

  QTreeWidget* ListView = nullptr;
  QPushButton* btnStart = nullptr;
  QPushButton* btnStop = nullptr;
  QPushButton* btnClose = nullptr;
  QToolButton* btnCheckPorts = nullptr;
  QToolButton* btnClearPorts = nullptr;
  QLabel* Animate = nullptr;

 signals:
  /// The search ended and the buttons are back (on the UI thread).
  void searchEnded();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void SearchEnded(unsigned search);
  void StopSearch();

  std::vector<TComPortInfo> ports_;
  std::string chosenPath_;
  TDeviceSearch search_;
  std::vector<bool> found_;
  // Searches started in this dialog; a search's worker reads it when it ends, and a new
  // search starts only after the previous worker has ended.
  std::atomic<unsigned> searches_{0};
};

/// The port's device path, and its /dev/serial/by-id name in brackets when it has one.
QString PortCaption(const TComPortInfo& port);

}  // namespace quorvel::ui
