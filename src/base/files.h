#pragma once
// Whole-file routines. Every failure is reported by the result, never thrown.

#include <optional>
#include <string>

namespace qv {

// The whole file as bytes; nothing when it cannot be read.
std::optional<std::string> tryReadFile(const std::string& path);
// The same, for a file of at most `maxBytes`: a longer one is not read (not
// even in part) and sets `tooLarge`.
std::optional<std::string> tryReadFile(const std::string& path, std::size_t maxBytes,
                                       bool* tooLarge);
// The same, into `content`, whose memory is reused: a caller reading many files
// in turn keeps one buffer instead of fresh memory (and its page faults) for
// each. False, with `content` unspecified, when the file cannot be read.
bool readFileInto(const std::string& path, std::size_t maxBytes, std::string& content,
                  bool* tooLarge);

// The whole file as bytes; empty on any error.
std::string readFile(const std::string& path);

// Replaces the file with `text`, atomically: the text goes to a temporary file
// in the same folder, which is flushed and renamed over the old one, so the old
// content survives any failure. A symbolic link is followed: the file it
// names is replaced and the link stays. True on success.
// A new file is readable and writable by the user only; a replaced one keeps
// its permissions.
[[nodiscard]] bool writeFile(const std::string& path, const std::string& text);

// Why the last writeFile of this thread failed ("No space left on device").
const std::string& lastWriteFailure();
// The system's error number behind it (ENOSPC), 0 when the reason was no system error.
int lastWriteErrno();

// Appends `text` to the file (created when missing). True on success.
[[nodiscard]] bool appendToFile(const std::string& path, const std::string& text);

// True when the file was deleted.
[[nodiscard]] bool deleteFile(const std::string& path);

// Removes what an interrupted writeFile left in `folder` (also the names
// earlier versions used); the number of files removed.
int removeStaleTempFiles(const std::string& folder);

bool fileExists(const std::string& path);
bool folderExists(const std::string& path);

}  // namespace qv
