#include "sim/Files.h"

#include <cctype>
#include <map>

#include <nlohmann/json.hpp>

#include "platform/win/WinError.h"
#include "sim/DescriptionValues.h"
#include "sim/MachineState.h"
#include "sim/Schema.h"

namespace sim::files {
namespace {

using nlohmann::json;
namespace sc = sim::schema;

const sc::Section kSection("files", sc::Object({{"folders", sc::Array(sc::Text())},
                                                {"entries", sc::Array(sc::Object({{"path", sc::Text()},
                                                                                  {"id", sc::Uint64()},
                                                                                  {"locked", sc::Bool()},
                                                                                  {"size", sc::Uint64()}},
                                                                                 {"path"}))}}));

const sc::FaultKind kDeleteFaults("DeleteFile", {"path"}, sc::Object({{"win32_error", sc::Uint32()}}));
const sc::FaultKind kIdFaults("OpenFileById", {"id"}, sc::Object({{"win32_error", sc::Uint32()}}));
const sc::FaultKind kPathFaults("GetFinalPathNameByHandle", {"path"},
                                sc::Object({{"win32_error", sc::Uint32()}}));

// The path without a device prefix, with single separators and no trailing one.
std::string Clean(const std::string& path) {
    std::string p = path;
    for (const char* prefix : {"\\\\.\\", "\\\\?\\"})
        if (p.compare(0, 4, prefix) == 0)
            p = p.substr(4);
    std::string out;
    for (char c : p) {
        if (c == '/')
            c = '\\';
        if (c == '\\' && !out.empty() && out.back() == '\\')
            continue;
        out += c;
    }
    while (out.size() > 3 && out.back() == '\\')
        out.pop_back();
    return out;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The clean path in lower case: two spellings of one path share it.
std::string Key(const std::string& path) {
    return Lower(Clean(path));
}

std::string Parent(const std::string& key) {
    const size_t slash = key.rfind('\\');
    if (slash == std::string::npos)
        return {};
    return slash == 2 ? key.substr(0, 3) : key.substr(0, slash);
}

const json& Entries(const json& state) {
    static const json empty = json::array();
    auto section = state.find("files");
    if (section == state.end() || !section->is_object())
        return empty;
    auto entries = section->find("entries");
    return entries != section->end() && entries->is_array() ? *entries : empty;
}

bool FolderExists(const json& state, const std::string& folder) {
    if (folder == "c:\\")
        return true;
    if (auto section = state.find("files"); section != state.end() && section->is_object())
        if (auto folders = section->find("folders"); folders != section->end() && folders->is_array())
            for (const json& f : *folders)
                if (f.is_string() && (Key(f.get<std::string>()) == folder ||
                                      Key(f.get<std::string>()).rfind(folder + "\\", 0) == 0))
                    return true;
    for (const json& e : Entries(state))
        if (Key(DescText(e, "path")).rfind(folder + "\\", 0) == 0)
            return true;
    return false;
}

} // namespace

uint32_t Delete(const std::string& path) {
    const std::string key = Key(path);
    if (key.size() < 3 || key.compare(0, 3, "c:\\") != 0)
        return ERROR_PATH_NOT_FOUND;
    uint32_t result = ERROR_FILE_NOT_FOUND;
    Current().Update([&](json& state) {
        json& entries = state["files"]["entries"];
        if (!entries.is_array())
            entries = json::array();
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (Key(DescText(*it, "path")) != key)
                continue;
            if (DescFlag(*it, "locked")) {
                result = ERROR_SHARING_VIOLATION;
                return;
            }
            // The folder stays when its last file goes.
            json& folders = state["files"]["folders"];
            if (!folders.is_array())
                folders = json::array();
            const std::string parent = Parent(DescText(*it, "path"));
            if (parent.size() > 3)
                folders.push_back(parent);
            entries.erase(it);
            result = ERROR_SUCCESS;
            return;
        }
        if (!FolderExists(state, Parent(key)))
            result = ERROR_PATH_NOT_FOUND;
    });
    return result;
}

uint32_t PathOfId(uint64_t fileId, std::string* path) {
    uint32_t result = ERROR_INVALID_PARAMETER;
    Current().Read([&](const json& state) {
        for (const json& e : Entries(state))
            if (e.contains("id") && DescValue(e["id"]) == fileId) {
                *path = DescText(e, "path");
                result = ERROR_SUCCESS;
                return;
            }
    });
    return result;
}

uint32_t ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
    const std::string key = Key(folder);
    if (key.size() < 3 || key.compare(0, 3, "c:\\") != 0)
        return ERROR_PATH_NOT_FOUND;
    const std::string prefix = key.size() == 3 ? key : key + "\\";
    uint32_t result = ERROR_SUCCESS;
    std::map<std::string, FolderEntry> found;
    // The name below the folder that a stored path starts with; a path deeper down names a folder.
    auto take = [&](const std::string& path, bool file, uint64_t size) {
        const std::string clean = Clean(path);
        if (Lower(clean).compare(0, prefix.size(), prefix) != 0 || clean.size() == prefix.size())
            return;
        const std::string rest = clean.substr(prefix.size());
        const size_t slash = rest.find('\\');
        FolderEntry entry{rest.substr(0, slash), !file || slash != std::string::npos, file ? size : 0};
        if (entry.folder)
            entry.size = 0;
        found.emplace(Lower(entry.name), entry);
    };
    Current().Read([&](const json& state) {
        if (!FolderExists(state, key)) {
            result = ERROR_PATH_NOT_FOUND;
            return;
        }
        for (const json& e : Entries(state))
            take(DescText(e, "path"), true, DescNumber(e, "size"));
        if (auto section = state.find("files"); section != state.end() && section->is_object())
            if (auto folders = section->find("folders"); folders != section->end() && folders->is_array())
                for (const json& f : *folders)
                    if (f.is_string())
                        take(f.get<std::string>(), false, 0);
    });
    for (auto& [name, entry] : found)
        entries->push_back(entry);
    return result;
}

uint32_t SizeOf(const std::string& path, uint64_t* size) {
    const std::string key = Key(path);
    uint32_t result = ERROR_FILE_NOT_FOUND;
    Current().Read([&](const json& state) {
        for (const json& e : Entries(state))
            if (Key(DescText(e, "path")) == key) {
                *size = DescNumber(e, "size");
                result = ERROR_SUCCESS;
                return;
            }
        if (!FolderExists(state, Parent(key)))
            result = ERROR_PATH_NOT_FOUND;
    });
    return result;
}

bool Exists(const std::string& path) {
    bool found = false;
    Current().Read([&](const json& state) { found = ExistsIn(state, path); });
    return found;
}

std::string PathKey(const std::string& path) {
    return Key(path);
}

bool ExistsIn(const json& state, const std::string& path) {
    const std::string key = Key(path);
    for (const json& e : Entries(state))
        if (Key(DescText(e, "path")) == key)
            return true;
    return false;
}

} // namespace sim::files
