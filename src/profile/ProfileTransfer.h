#pragma once

#include "Profile.h"

#include <memory>
#include <string>
#include <vector>

namespace quorvel {

class TOrtena;
class TScripts;
class THexFile;
class TUpdateStatus;

/// Message of ReadProfileGroup for a group the terminal never gives back; the group's name
/// follows.
inline constexpr const char* kGroupNotReadableMessage = "Группа настроек не читается из терминала:";

/// Message of VerifyProfileGroup; the group's name follows.
inline constexpr const char* kVerifyFailedMessage = "Прочитанные значения отличаются от записанных, группа";

/// Message of CheckProfileGroups for a SIM slot in use without a PIN; formatted with the slot
/// number and the values table's column of its PIN.
inline constexpr const char* kSimPinMissingMessage =
    "SIM-карта {}: нет PIN-кода; задайте его в профиле или в столбце {} файла значений";
/// Message of CheckProfileGroups for a server without an address.
inline constexpr const char* kServerAddressMissingMessage =
    "не задан адрес сервера; задайте его в профиле или в столбце server_address файла значений";
/// Note of UnreadValueNotes; formatted with the slot number and its PIN's column.
inline constexpr const char* kSimPinNotReadNote =
    "SIM-карта {}: терминал не отдает PIN-код; задайте его в профиле или в столбце {} файла значений";

/// Whether ReadProfileGroup can read the group: every group but firmware and credentials
/// (keys and passwords never come back from a terminal).
bool IsReadableGroup(TProfileGroup group);
/// Whether VerifyProfileGroup compares the group with the terminal: the readable groups, and
/// the credentials of Absolutplat, Eurofon and UbsPay (their agent and device ids). Firmware is
/// compared by the writer itself.
bool IsVerifiableGroup(const TProfile& profile, TProfileGroup group);

/// The checks the writes of the groups make before they send anything, made now, so a wrong
/// value stops a bench before its first terminal: the server parameters (an empty address:
/// kServerAddressMissingMessage), the active system's page (its Check rules, MasterPort's
/// serial number and GUIDs, ids and URL), every SIM slot in use (a slot without a PIN:
/// kSimPinMissingMessage), the receipt lines, every fee rate, every script's wire text, the
/// firmware image (HEX format and CheckImage). Raises the first failure's message, prefixed
/// with the group's name and ": ".
void CheckProfileGroups(const TProfile& profile, const TProfileGroups& groups);

/// What a profile read from a terminal lacks because no terminal gives it back, one note per
/// value (kSimPinNotReadNote for every SIM slot in use without a PIN), so that the user can
/// supply it before the profile is written.
std::vector<std::string> UnreadValueNotes(const TProfile& profile);

/// Reads one group from the terminal into profile and adds it to profile.Groups (receipt
/// lines without the empty ones after the last text). Paysys reads
/// the active system (GLOBALOP?) and its server parameters; Scripts reads the scripts whose
/// numbers profile.System() lists (the caller puts the list there, see CopyScriptList). Raises
/// the facade's errors; the status is cleared at the end.
void ReadProfileGroup(TOrtena& facade, TProfile& profile, TProfileGroup group);

/// Writes one group of profile into the terminal: Paysys makes the system active and writes its
/// server parameters; Credentials writes the active system's page as its page does, with the
/// profile's file contents; Scripts writes the system's scripts (the facade asks before it
/// switches the active system); Firmware is WriteProfileFirmware (normal mode). Raises the facade's errors (a
/// refused value before anything of the group is sent); the status is cleared at the end.
void WriteProfileGroup(TOrtena& facade, const TProfile& profile, TProfileGroup group);

/// Reads the group back into a fresh profile and compares it with what WriteProfileGroup sent,
/// as far as the terminal gives it back and by what it means, not how the terminal says it: a
/// SIM card's PIN is never read and a slot not in use reads empty; receipt lines lose trailing
/// blanks, and empty lines after the last written one are the end (a terminal may keep them
/// or drop them and end at the first empty line); server addresses, server names and access
/// points are compared without case, fields and scripts without trailing blanks; scripts come
/// back as their wire text; rates in any order; the fee page's selection is no terminal value.
/// Raises Exception "<kVerifyFailedMessage> <name>" when they differ, or the facade's errors.
void VerifyProfileGroup(TOrtena& facade, const TProfile& profile, TProfileGroup group);

/// Whether read, the group as a terminal gave it back (ReadProfileGroup, or the ids of the
/// credentials), means what WriteProfileGroup of written sent, by the rules of
/// VerifyProfileGroup. read is brought into the compared form.
bool ReadBackMatches(const TProfile& written, TProfile& read, TProfileGroup group);

/// profile.Firmware as a HEX image, checked (CheckImage): its errors.
std::shared_ptr<const THexFile> FirmwareImage(const TProfile& profile);

/// Writes profile.Firmware through the terminal's ISP bootloader (the terminal restarted into it
/// with RTS low, as the update page does), in fast mode when fast, reading the flash back when
/// verify, then starts the new program (TISPParams::StartProgram); status shows the progress and takes a stop request (EAbort then). Raises the
/// HEX file's errors and CheckImage's before the port is touched, the writer's error after.
void WriteProfileFirmware(TOrtena& facade, const TProfile& profile, bool fast, bool verify,
                          TUpdateStatus& status);

/// Replaces the editable scripts of to with copies of those of from (numbers, names, texts).
void CopyScriptList(const TScripts& from, TScripts& to);

}  // namespace quorvel
