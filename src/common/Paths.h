#pragma once

#include <string>

namespace quorvel {

/// The folder of the program's own files: $QUORVEL_HOME when set, else
/// $XDG_CONFIG_HOME/quorvel, else $HOME/.config/quorvel. Not created here.
std::string ProgramHome();

/// path made absolute against the current folder (an empty path stays empty; links are
/// not resolved). Paths kept between runs are stored this way, so that a run from another
/// folder finds the same files.
std::string AbsolutePath(const std::string& path);

/// Creates the folder (and its parents) when missing; raises Exception when it cannot.
void EnsureDirectory(const std::string& path);

/// Start of the error raised when the backup copy of a damaged file cannot be made; the copy's
/// name and the reason follow.
inline constexpr const char* kBackupCopyErrorMessage = "Не удалось сохранить копию файла";

/// "<fileName>.YYYYMMDD-HHMMSS.bak" in local time, with "-2", "-3", ... before ".bak" when a
/// copy of that second exists already: an older copy is never overwritten.
std::string FreeBackupName(const std::string& fileName);

/// Copies the file's bytes (an empty file too) to FreeBackupName(fileName), owner-only, and
/// returns that name; returns an empty text when the file does not exist (nothing left to keep). Raises
/// Exception "<kBackupCopyErrorMessage> <name>: <reason>"; the file itself is never changed.
std::string MakeBackupCopy(const std::string& fileName);

}  // namespace quorvel
