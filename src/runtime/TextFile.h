#pragma once

#include <string>

namespace drennow::runtime {

// A file of exactly this text, written in full into a new file beside its
// path (made for this write alone, flushed to the disk) before it is put in
// place: so whether the file can be written is known before anything that
// depends on it is done. Commit renames it over the path: whatever stood
// there (a file, a link) is replaced, never written through or followed; a
// crash leaves the old file or the new one. A file never committed is
// removed. Raises the runtime's file errors: 76 path not found, 70 permission
// denied (a folder under the path's name included), 61 disk full, 75 others.
class PreparedFile {
public:
    PreparedFile(std::string path, const std::string& text);
    ~PreparedFile();
    PreparedFile(PreparedFile&& other) noexcept;
    PreparedFile& operator=(PreparedFile&&) = delete;
    PreparedFile(const PreparedFile&) = delete;
    PreparedFile& operator=(const PreparedFile&) = delete;

    void Commit();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::string temporary_;  // empty once committed or moved from
};

// Puts a file of exactly this text at the path, as a whole or not at all.
void ReplaceFile(const std::string& path, const std::string& text);

}  // namespace drennow::runtime
