#pragma once

#include <string>

namespace quorvel::cli {

/// The whole file as bytes; an empty file is an empty text (not an error). Raises the file
/// error naming the file when it cannot be read.
std::string ReadTextFile(const std::string& fileName);

/// Lines of a text file (UTF-8, an optional byte-order mark, lines ended by CR LF, CR or LF)
/// as the program keeps them: each line followed by CR LF.
std::string FileToCrLfText(std::string bytes);

/// The first count lines of a text whose lines each end with CR LF; *dropped (when given)
/// receives how many lines were left out.
std::string FirstLines(const std::string& crLfText, int count, int* dropped = nullptr);

/// Text whose lines end with CR LF (or CR, or LF) as a Linux text file: each line followed
/// by LF.
std::string CrLfToFileText(const std::string& text);

/// Writes bytes unchanged to fileName (atomically), or to stdout when fileName is empty.
void WriteOutput(const std::string& fileName, const std::string& bytes);

}  // namespace quorvel::cli
