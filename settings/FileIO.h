#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sonari {

enum class TReadResult { rrOk, rrMissing, rrFailed };

// Reads a regular file of at most `maxBytes` into `bytes`. rrMissing when the file or a folder
// of its path does not exist; rrFailed when it cannot be read, is no regular file (a folder, a
// pipe, a device) or is larger than `maxBytes`.
TReadResult ReadWholeFile(const std::string& fileName, size_t maxBytes, std::string& bytes);

// Replaces the file's contents with `bytes` as one step: a temporary file in the same folder is
// written, flushed to the disk and renamed over the old one, so readers and crashes see either
// the old or the new contents, never a part. An existing file keeps its permissions and owner
// (as far as the process may set them), a symbolic link keeps pointing at it. False on any
// failure, with the old file untouched and no temporary file left.
bool ReplaceFile(const std::string& fileName, std::string_view bytes);

} // namespace sonari
