#pragma once

#include "Profile.h"

#include <string>

namespace quorvel {

class TOrtena;
class TScripts;

/// Message of VerifyProfileGroup; the group's name follows.
inline constexpr const char* kVerifyFailedMessage = "Прочитанные значения отличаются от записанных, группа";

/// Reads one group from the terminal into profile and adds it to profile.Groups. Paysys reads
/// the active system (GLOBALOP?) and its server parameters; Scripts reads the scripts whose
/// numbers profile.System() lists (the caller puts the list there, see CopyScriptList). Raises
/// the facade's errors; the status is cleared at the end.
void ReadProfileGroup(TOrtena& facade, TProfile& profile, TProfileGroup group);

/// Writes one group of profile into the terminal: Paysys makes the system active and writes its
/// server parameters; Scripts writes the system's scripts (the facade asks before it switches
/// the active system). Raises the facade's errors (a refused value before anything of the
/// group is sent); the status is cleared at the end.
void WriteProfileGroup(TOrtena& facade, const TProfile& profile, TProfileGroup group);

/// Reads the group back into a fresh profile and compares it with what WriteProfileGroup sent,
/// as far as the terminal gives it back: a SIM card's PIN is never read and a slot not in use
/// reads empty, receipt lines lose trailing blanks and end at the first empty line, scripts
/// come back as their wire text, the fee page's selected table is no terminal value. Raises
/// Exception "<kVerifyFailedMessage> <name>" when they differ, or the facade's errors.
void VerifyProfileGroup(TOrtena& facade, const TProfile& profile, TProfileGroup group);

/// Replaces the editable scripts of to with copies of those of from (numbers, names, texts).
void CopyScriptList(const TScripts& from, TScripts& to);

}  // namespace quorvel
