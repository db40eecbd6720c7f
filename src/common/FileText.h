#pragma once

#include <string>
#include <string_view>

namespace quorvel {

/// The whole file as bytes. Raises Exception "Файл пустой" for a file of length 0, and
/// Exception naming the file and the system's reason when it cannot be read.
std::string ReadFileText(const std::string& fileName);

/// Replaces the file with exactly these bytes (an empty text leaves an empty file). The
/// replacement is atomic: a temporary file beside it is written, flushed to disk and renamed
/// over the old one, so a failure (full disk, crash) leaves the previous file intact.
/// Raises Exception naming the file and the reason on failure.
void WriteFileText(const std::string& fileName, std::string_view text);

/// Message of an empty file.
inline constexpr const char* kEmptyFileMessage = "Файл пустой";

}  // namespace quorvel
