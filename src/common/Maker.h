#pragma once

namespace quorvel {

/// The maker of the terminals and of this program, as the about box shows it and the mail
/// action uses it. One place, so that the desktop program and the command line agree.
inline constexpr const char* kMakerName = "ООО «Ортена»";
inline constexpr const char* kMakerAddress = "620014, Екатеринбург, ул. Малышева, 51, офис 1205";
inline constexpr const char* kMakerPhone = "+7 (343) 310-42-17";
inline constexpr const char* kMakerWebSite = "http://www.ortena.ru";
inline constexpr const char* kMakerSupportMail = "support@ortena.ru";

}  // namespace quorvel
