#pragma once

#include "Profile.h"

namespace quorvel {

class TAppDoc;

/// The configuration document's settings of the groups as a profile (whose groups become
/// those it got): the active system (ActiveSystemID) with its server, credentials (its key,
/// certificate and code-word files read now, a file not chosen left empty; the passwords of
/// this run) and scripts, the SIM
/// slots, the receipt header and advertisement, the fee tables, and the firmware from the
/// update page's HEX file. The document holds no provider file or phone base, and no firmware
/// while no HEX file is chosen: those groups are left out. Raises the read errors of the named
/// files, and Exception "Профиль не содержит ни одной группы настроек" when nothing is left.
void ProfileFromDocument(const TAppDoc& doc, const TProfileGroups& groups, TProfile& profile);

/// Puts the profile's document groups into the document: the active system and its server,
/// credentials (the passwords too; the document keeps naming its own key files, their contents
/// in the profile are for terminals only) and scripts, the SIM slots, the receipt lines and the
/// fee tables. Firmware, provider file and phone base are not document values and are left.
/// The profile was checked when it was loaded, so nothing here fails half way.
void ProfileToDocument(const TProfile& profile, TAppDoc& doc);

}  // namespace quorvel
