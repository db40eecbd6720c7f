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

}  // namespace quorvel
