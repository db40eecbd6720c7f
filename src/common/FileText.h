#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel {

/// Largest file ReadFileText takes (16 MiB): every text input of the program (keys, receipt
/// lines, scripts, the provider file, the phone base) is far smaller, and a larger one is a
/// wrong file rather than something to hold in memory.
inline constexpr std::size_t kMaxTextFileSize = std::size_t{16} << 20;

/// The whole file as bytes. Raises Exception "Файл пустой" for a file of length 0,
/// kFileTooLargeMessage (naming the file) for one over kMaxTextFileSize, and Exception naming
/// the file and the system's reason when it cannot be read. The name "-" reads standard input
/// to its end; any other name must be a regular file (kNotRegularFileMessage otherwise): it is
/// opened without waiting, so a FIFO or a device named by mistake is refused at once instead
/// of holding the program for good.
std::string ReadFileText(const std::string& fileName);
/// ReadFileText that takes an empty file as an empty text.
std::string ReadFileBytes(const std::string& fileName);

/// What a path given to WriteFileText is to the program.
enum class TWriteKind {
  /// One of the program's own files (settings.xml, the configuration document, its copies):
  /// always replaced atomically.
  Document,
  /// A path the user named for output (an export, a read to FILE). A character device, FIFO
  /// or socket there (/dev/stdout, /dev/null, a pipe) is opened and written through, never
  /// replaced; a regular file is replaced atomically like a document.
  Output,
};

/// Permissions of a file WriteFileText writes.
enum class TFileAccess {
  Shared,  ///< a new file 0666 less the umask; a file that exists keeps its own mode
  Secret,  ///< 0600, for a file that exists too: the file holds keys or passwords
};

/// Replaces the file with exactly these bytes (an empty text leaves an empty file). The
/// replacement is atomic: a temporary file beside the real file is written, flushed to disk,
/// closed and renamed over the old one, so a failure (full disk, crash, signal) leaves the
/// previous file intact and no temporary file behind. A symbolic link (a chain of them,
/// relative targets included) is followed: its final target is replaced and the link stays.
/// The replaced file keeps its owner where permitted, and its mode unless access is Secret
/// (then it becomes 0600, as does a regular file written through as standard output).
/// Raises Exception naming the file and the reason on failure.
void WriteFileText(const std::string& fileName, std::string_view text, TWriteKind kind = TWriteKind::Document,
                   TFileAccess access = TFileAccess::Shared);

/// The path a chain of symbolic links starting at path ends in (path itself when it is not
/// a link or does not exist); a relative target is taken from the folder of its link.
/// Raises Exception naming path for a loop of links.
std::string ResolveLinks(const std::string& path);

/// Installs handlers of SIGINT, SIGTERM and SIGHUP that remove the temporary files of the
/// writes in progress and then end the process by the same signal as before. A signal the
/// process ignores stays ignored. Call once from the main thread of a program, before any
/// other thread starts.
void InstallTempFileCleanup();

/// While a handler is set, the first SIGINT calls it instead of ending the process and
/// removes it, so that the program can wind down by itself (stop a transfer and exit); a later
/// SIGINT, and SIGTERM and SIGHUP, act as InstallTempFileCleanup says. The handler runs inside
/// the signal handler, on any thread: it may only touch lock-free atomics. nullptr removes it.
/// With alsoEndSignals, the first SIGTERM or SIGHUP (a kill, a closed ssh session) calls it
/// too, so that work that must leave its record (a bench) winds down as after Ctrl+C.
/// Has an effect only after InstallTempFileCleanup (an ignored SIGINT stays ignored).
/// Any thread; async-signal-safe.
void SetInterruptHandler(void (*handler)(), bool alsoEndSignals = false) noexcept;

/// The system calls WriteFileText ends a temporary file with; tests replace them to make
/// the flush or the close fail. Never changed by the program itself.
struct TFileSyncCalls {
  int (*Fsync)(int fd);
  int (*Close)(int fd);
};
TFileSyncCalls& FileSyncCalls();

/// Message of an empty file.
inline constexpr const char* kEmptyFileMessage = "Файл пустой";
/// Message of an input that is not a regular file (a FIFO, a device, a folder), formatted with
/// the file name.
inline constexpr const char* kNotRegularFileMessage = "\"{}\" не является обычным файлом";
/// Message of a file over kMaxTextFileSize, formatted with the file name.
inline constexpr const char* kFileTooLargeMessage = "Файл \"{}\" слишком большой (больше 16 МиБ)";

}  // namespace quorvel
