#pragma once
// The files of the simulated machine ("files" section): a store of files by path on drive C:, each
// with its NTFS file id, and the folders that hold them. A file can be held open by another program
// (its deletion is then a sharing violation). Functions return a Win32 error (0 success).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace sim::files {

// path: "c:\dir\file", also with the "\\.\" or "\\?\" prefix; compared without case.
uint32_t Delete(const std::string& path);
// The path of the file with that id as stored ("C:\dir\file"); ERROR_INVALID_PARAMETER for none.
uint32_t PathOfId(uint64_t fileId, std::string* path);
// For tests.
bool Exists(const std::string& path);

// What a folder search sees of one entry.
struct FolderEntry {
    std::string name; // as the store spells it
    bool folder = false;
    uint64_t size = 0;
};
// The files and folders directly in a folder ("C:\dir"), ordered by name without case;
// ERROR_PATH_NOT_FOUND when the folder does not exist.
uint32_t ListFolder(const std::string& folder, std::vector<FolderEntry>* entries);
// A stored file's size now; ERROR_FILE_NOT_FOUND, or ERROR_PATH_NOT_FOUND when its folder does not
// exist either.
uint32_t SizeOf(const std::string& path, uint64_t* size);

// For other services that name files by path, inside their own Read or Update of the state: the
// form two spellings of one path share, and whether the state holds the file.
std::string PathKey(const std::string& path);
bool ExistsIn(const nlohmann::json& state, const std::string& path);

} // namespace sim::files
