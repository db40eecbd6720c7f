#include "UiContext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QStringList>
#include <QTranslator>

namespace quorvel::ui {

void TMessageBoxes::ShowError(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, kAppTitle, text);
}

bool TMessageBoxes::Ask(QWidget* parent, const QString& question) {
  return QMessageBox::warning(parent, kAppTitle, question, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) == QMessageBox::Yes;
}

void TMessageBoxes::ShowInfo(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, kAppTitle, text);
}

void LoadQtTranslations(QObject& app) {
  const QString path = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  for (const char* name : {"qtbase_ru", "qt_ru"}) {
    auto* translator = new QTranslator(&app);
    if (translator->load(QString::fromLatin1(name), path))
      QCoreApplication::installTranslator(translator);
    else
      delete translator;
  }
}

QString QtFileFilter(const QString& pairs) {
  const QStringList parts = pairs.split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    // A description that does not show its pattern gets it, so Qt can filter by it.
    QString description = parts[i];
    if (!description.contains('(')) description += " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
    filters << description;
  }
  return filters.join(";;");
}

namespace {

QString StartPath(const TFileDialogDef& dialog) {
  QString folder = dialog.InitialDir.isEmpty() ? QDir::currentPath() : QDir::current().absoluteFilePath(dialog.InitialDir);
  if (dialog.FileName.isEmpty()) return folder;
  const QFileInfo file(dialog.FileName);
  return file.isAbsolute() ? file.filePath() : QDir(folder).filePath(dialog.FileName);
}

QString RunFileDialog(QWidget* parent, const TFileDialogDef& dialog, QFileDialog::AcceptMode mode) {
  QFileDialog box(parent, kAppTitle, StartPath(dialog), QtFileFilter(dialog.Filter));
  box.setAcceptMode(mode);
  box.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  box.setDefaultSuffix(dialog.DefaultExt);
  if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) return {};
  return box.selectedFiles().front();
}

}  // namespace

QString TMessageBoxes::OpenFileName(QWidget* parent, const TFileDialogDef& dialog) {
  return RunFileDialog(parent, dialog, QFileDialog::AcceptOpen);
}

QString TMessageBoxes::SaveFileName(QWidget* parent, const TFileDialogDef& dialog) {
  // Qt's save dialog asks before replacing a file by default.
  return RunFileDialog(parent, dialog, QFileDialog::AcceptSave);
}

}  // namespace quorvel::ui
