#pragma once

#include <string>

namespace quorvel {

/// The folder of the program's own files: $QUORVEL_HOME when set, else
/// $XDG_CONFIG_HOME/quorvel, else $HOME/.config/quorvel. Not created here.
std::string ProgramHome();

/// Creates the folder (and its parents) when missing; raises Exception when it cannot.
void EnsureDirectory(const std::string& path);

}  // namespace quorvel
