#pragma once

#include <string>
#include <string_view>

namespace quorvel::cli {

/// The whole file as bytes; an empty file is an empty text (not an error). Raises the file
/// error naming the file when it cannot be read.
std::string ReadTextFile(const std::string& fileName);

/// Raises Exception "Файл <name> не является текстом UTF-8 (строка <n>)" for the first line of
/// bytes that is not well-formed UTF-8 (lines ended by CR LF, CR or LF).
void CheckUtf8Text(std::string_view bytes, const std::string& fileName);

/// ReadTextFile of a file that must be UTF-8 text (CheckUtf8Text).
std::string ReadUtf8TextFile(const std::string& fileName);

/// Lines of a text file (UTF-8, an optional byte-order mark, lines ended by CR LF, CR or LF)
/// as the program keeps them: each line followed by CR LF.
std::string FileToCrLfText(std::string bytes);

/// The first count lines of a text whose lines each end with CR LF; *dropped (when given)
/// receives how many lines were left out.
std::string FirstLines(const std::string& crLfText, int count, int* dropped = nullptr);

/// Text whose lines end with CR LF (or CR, or LF) as a Linux text file: each line followed
/// by LF.
std::string CrLfToFileText(const std::string& text);

/// Writes bytes unchanged to fileName (an output path: a device or pipe is written through, a
/// file replaced atomically), or to stdout when fileName is empty.
void WriteOutput(const std::string& fileName, const std::string& bytes);

}  // namespace quorvel::cli
