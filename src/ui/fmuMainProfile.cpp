// The main window's profiles: the document's settings saved as a profile file and a profile
// file taken into the document.
#include "AppDoc.h"
#include "Profile.h"
#include "ProfileDocument.h"
#include "fmuMain.h"

#include <memory>

namespace quorvel::ui {

namespace {

TFileDialogDef ProfileDialog() {
  return {QStringLiteral("Профили (*.xml)|*.xml"), QStringLiteral("xml"), {}, {}};
}

}  // namespace

bool TfmMain::TakePageValues() {
  TAppPage* page = Pages.Current();
  if (page == nullptr) return true;
  try {
    page->UpdateObject();
  } catch (...) {
    runner_.ShowError(std::current_exception());
    return false;
  }
  return true;
}

void TfmMain::SaveProfileClick() {
  // What is typed on the page on screen reaches the document only when the page is left.
  if (!TakePageValues()) return;
  const QString file = context_.Messages.SaveFileName(this, ProfileDialog());
  if (file.isEmpty()) return;
  TAppDoc& doc = context_.Doc;
  // The profile takes the document's active system, and the user means the one on screen:
  // the tree follows the toolbar and the terminal, the document's number only its file.
  if (CurrentSystemID >= 0) doc.PaymentSystems().ActiveSystemID = CurrentSystemID;
  runner_.Run(nullptr, [&doc, name = S(file)] {
    TProfile profile;
    ProfileFromDocument(doc, ParseProfileGroups(""), profile);
    profile.SaveToFile(name);
  });
}

void TfmMain::OpenProfileClick() {
  const QString file = context_.Messages.OpenFileName(this, ProfileDialog());
  if (file.isEmpty()) return;
  // The groups the profile lacks keep what was typed on the page on screen, which is shown
  // again from the document afterwards.
  if (!TakePageValues()) return;
  // Read whole before the document is touched: a file that fails half way leaves it as it was.
  auto profile = std::make_shared<TProfile>();
  runner_.Run(
      nullptr, [profile, name = S(file)] { profile->LoadFromFile(name); },
      [this, profile] {
        ProfileToDocument(*profile, context_.Doc);
        const auto has = [&profile](TProfileGroup group) { return profile->Groups.count(group) > 0; };
        // A profile without a payment system leaves the tree on the one the user chose.
        if (has(TProfileGroup::Paysys) || has(TProfileGroup::Credentials) || has(TProfileGroup::Scripts))
          ShowSystem(profile->ActiveSystem());
        if (TAppPage* page = Pages.Current()) page->UpdatePage();
      });
}

void TfmMain::ShowSystem(std::int32_t code) {
  // The document's system of the code is the one a profile's values went into.
  TPaymentSystem* system = context_.Doc.PaymentSystems().FindBySystemID(code);
  if (system == nullptr || system == shownSystem_) return;
  shownSystem_ = system;
  CurrentSystemID = code;
  BuildTree(code);
  // The page on screen may have belonged to the system the tree showed before.
  if (Pages.Current() == nullptr || Pages.Current()->Pages() != &Pages) RestoreSelection();
}

}  // namespace quorvel::ui
