#include "fmuAbout.h"

#include "Maker.h"
#include "ModemDriver.h"
#include "UiContext.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace quorvel::ui {

namespace {

QLabel* Link(QWidget* parent, const char* name, const QString& url, const QString& text) {
  auto* label = new QLabel(
      QStringLiteral("<a href=\"%1\">%2</a>").arg(url.toHtmlEscaped(), text.toHtmlEscaped()), parent);
  label->setObjectName(name);
  label->setAccessibleName(text);
  label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  // Opened through QDesktopServices, so that the handler can be replaced (and tests see it).
  label->setOpenExternalLinks(false);
  QObject::connect(label, &QLabel::linkActivated, parent,
                   [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
  return label;
}

}  // namespace

QString SupportMailUrl() {
  return QStringLiteral("mailto:%1?subject=Quorvel%20%2").arg(kMakerSupportMail, Q(FileVersionText()));
}

TfmAbout::TfmAbout(QWidget* parent) : QDialog(parent) {
  setObjectName("fmAbout");
  setWindowTitle(QStringLiteral("О программе"));
  auto* layout = new QVBoxLayout(this);
  lblName = new QLabel(
      QApplication::applicationName().isEmpty() ? kAppTitle : QApplication::applicationName(), this);
  lblName->setObjectName("lblName");
  QFont big = lblName->font();
  big.setPointSize(big.pointSize() + 6);
  big.setBold(true);
  lblName->setFont(big);
  layout->addWidget(lblName);
  lbVersion = new QListWidget(this);
  lbVersion->setObjectName("lbVersion");
  lbVersion->setAccessibleName(QStringLiteral("Версия программы"));
  lbVersion->addItem(QStringLiteral("Версия программы: ") + Q(FileVersionText()));
  lbVersion->setMaximumHeight(lbVersion->sizeHintForRow(0) * 2 + 6);
  layout->addWidget(lbVersion);
  for (const char* line : {kMakerName, kMakerAddress, kMakerPhone}) {
    auto* label = new QLabel(QString::fromUtf8(line), this);
    label->setAccessibleName(QString::fromUtf8(line));
    layout->addWidget(label);
  }
  auto* links = new QFormLayout;
  lblURL = Link(this, "lblURL", kMakerWebSite, kMakerWebSite);
  lblMail = Link(this, "lblMail", SupportMailUrl(), kMakerSupportMail);
  links->addRow(QStringLiteral("Наш Web-сайт:"), lblURL);
  links->addRow(QStringLiteral("Тех. поддержка:"), lblMail);
  layout->addLayout(links);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  btnOk = new QPushButton(QStringLiteral("OK"), this);
  btnOk->setObjectName("btnOk");
  btnOk->setAccessibleName(QStringLiteral("OK"));
  btnOk->setDefault(true);
  row->addWidget(btnOk);
  layout->addLayout(row);
  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace quorvel::ui
