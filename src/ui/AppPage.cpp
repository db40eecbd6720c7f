#include "AppPage.h"

#include "Errors.h"
#include "ModemDriver.h"
#include "Ortenas.h"

#include <algorithm>

namespace quorvel::ui {

TAppPage::TAppPage(TUiContext& context, TOperationRunner& runner, const QString& caption, QWidget* parent)
    : TSizeableForm(parent), context_(context), runner_(runner) {
  setWindowTitle(caption);
  setAccessibleName(caption);
}

TAppPage::~TAppPage() {
  if (pages_ != nullptr) pages_->Remove(this);
}

bool TAppPage::RunOperation(TOperationRunner::TWork work, TOperationRunner::TWork done) {
  return runner_.Run(this, std::move(work), std::move(done));
}

bool TAppPage::RunStoppable(QAbstractButton* stop, TOperationRunner::TWork work,
                            TOperationRunner::TWork done) {
  TOrtena& facade = context_.Facade;
  // A request left from an earlier run would stop this one before its first packet.
  facade.ResetStop();
  const bool started = runner_.Run(this, std::move(work), std::move(done), [this](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const EAbort&) {
      // The other silent abort, a question answered No, has nothing to report.
      if (context_.Facade.Driver().StopRequested()) Stopped();
    } catch (...) {
      runner_.ShowError(std::current_exception());
    }
  });
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
