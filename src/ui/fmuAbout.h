#pragma once

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

namespace quorvel::ui {

/// "О программе": the program's name and version, the maker's address and telephone, and links
/// to its web site and support mailbox.
class TfmAbout final : public QDialog {
  Q_OBJECT

 public:
  explicit TfmAbout(QWidget* parent = nullptr);

  QLabel* lblName = nullptr;
  QListWidget* lbVersion = nullptr;
  QLabel* lblURL = nullptr;
  QLabel* lblMail = nullptr;
  QPushButton* btnOk = nullptr;
};

/// "mailto:<support>?subject=Quorvel%20<version>".
QString SupportMailUrl();

}  // namespace quorvel::ui
