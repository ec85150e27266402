#pragma once

#include <string>

namespace drennow::runtime {

// Puts a file of exactly this text at the path, as a whole or not at all:
// the text goes into a new file beside it, made for this write alone, which
// is flushed to the disk and renamed over the path. Whatever stood at the
// path (a file, a link) is replaced, never written through or followed; a
// crash leaves the old file or the new one. Raises the runtime's file
// errors: 76 path not found, 70 permission denied, 61 disk full, 75 others.
void ReplaceFile(const std::string& path, const std::string& text);

}  // namespace drennow::runtime
