#include "AppPage.h"

#include "Errors.h"
#include "ModemDriver.h"
#include "Ortenas.h"

#include <QAbstractButton>

#include <algorithm>

namespace quorvel::ui {

namespace {

// The buttons of the pages that send settings into the terminal; everything else a page does
// reads the terminal or works on files.
bool WritesTerminal(const QAbstractButton& button) {
  return button.objectName() == QLatin1String("btnWrite") ||
         button.objectName() == QLatin1String("btnRestore");
}

}  // namespace

TAppPage::TAppPage(TUiContext& context, TOperationRunner& runner, const QString& caption, QWidget* parent)
    : TSizeableForm(parent), context_(context), runner_(runner) {
  setWindowTitle(caption);
  setAccessibleName(caption);
}

TAppPage::~TAppPage() {
  if (pages_ != nullptr) pages_->Remove(this);
}

std::optional<TWriteNote> TAppPage::WriteNote() const {
  // The page's buttons start its operations, so the click under way names the operation.
  const auto* button = qobject_cast<const QAbstractButton*>(sender());
  if (button == nullptr || !WritesTerminal(*button)) return std::nullopt;
  return TWriteNote{S(Caption() + QStringLiteral(": ") + QString(button->text()).remove('&')),
                    context_.Facade.GetPortName()};
}

bool TAppPage::RunOperation(TOperationRunner::TWork work, TOperationRunner::TWork done) {
  if (std::optional<TWriteNote> note = WriteNote())
    return runner_.RunWrite(this, std::move(*note), std::move(work), std::move(done));
  return runner_.Run(this, std::move(work), std::move(done));
}

bool TAppPage::RunStoppable(QAbstractButton* stop, TOperationRunner::TWork work,
                            TOperationRunner::TWork done) {
  TOrtena& facade = context_.Facade;
  // A request left from an earlier run would stop this one before its first packet.
  facade.ResetStop();
  TOperationRunner::TFailure failed = [this](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const EAbort&) {
      // The other silent abort, a question answered No, has nothing to report.
      if (context_.Facade.Driver().StopRequested()) Stopped();
    } catch (...) {
      runner_.ShowError(std::current_exception());
    }
  };
  std::optional<TWriteNote> note = WriteNote();
  const bool started =
      note ? runner_.RunWrite(this, std::move(*note), std::move(work), std::move(done), std::move(failed))
           : runner_.Run(this, std::move(work), std::move(done), std::move(failed));
  if (started) runner_.OfferStop(stop, [&facade] { facade.RequestStop(); });
  return started;
}

void TAppPage::Stopped() { context_.Facade.DriverStatus().SetText(kAbortMessage); }

TAppPages::~TAppPages() { Clear(); }

void TAppPages::Add(TAppPage* page) {
  if (page->pages_ == this) return;
  if (page->pages_ != nullptr) page->pages_->Remove(page);
  pages_.push_back(page);
  page->pages_ = this;
}

void TAppPages::Remove(TAppPage* page) {
  pages_.erase(std::remove(pages_.begin(), pages_.end(), page), pages_.end());
  page->pages_ = nullptr;
  if (current_ == page) current_ = nullptr;
}

void TAppPages::Clear() {
  for (TAppPage* page : pages_) page->pages_ = nullptr;
  pages_.clear();
}

void TAppPages::ShowPage(TAppPage* page) {
  if (page == current_) return;
  if (current_ != nullptr) {
    current_->UpdateObject();
    current_->hide();
  }
  current_ = page;
  if (page == nullptr) return;
  page->show();
  page->UpdatePage();
}

void TAppPages::CheckCloseAll() {
  for (TAppPage* page : pages_) page->CheckClose();
}

}  // namespace quorvel::ui
