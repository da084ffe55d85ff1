#include "base/folders.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace qv {
namespace {

namespace fs = std::filesystem;

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string parentFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

bool isRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::string fileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string toSlashPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string baseNameOf(const std::string& path) {
    std::string name = fileNameOf(toSlashPath(path));
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

Folders Folders::detect(const std::string& executablePath, const std::string& shareDir,
                        const std::string& dataHome, const std::string& plugInDir) {
    const std::string exeFolder = parentFolder(toSlashPath(executablePath));
    if (isRegularFile(joinPath(exeFolder, "portable"))) return forFolder(exeFolder);
    Folders f;
    f.portable = false;
    f.shippedFolder = withoutTrailingSlash(shareDir);
    f.plugInFolder =
        plugInDir.empty() ? joinPath(f.shippedFolder, "PlugIns") : withoutTrailingSlash(plugInDir);
    // Without a home there is no place of the user's own: never the folder the
    // program happened to be started from.
    if (dataHome.empty() || dataHome.front() != '/') return f;
    f.programFolder = withoutTrailingSlash(joinPath(withoutTrailingSlash(dataHome), "quorvane"));
    std::error_code ec;
    const bool existed = fs::exists(f.programFolder, ec);
    fs::create_directories(f.programFolder, ec);
    // Made by us: the user's alone, whatever the umask. One that was there is
    // left as the user has it.
    if (!existed && !ec) fs::permissions(f.programFolder, fs::perms::owner_all, ec);
    return f;
}

Folders Folders::forFolder(const std::string& folder) {
    Folders f;
    f.portable = true;
    f.programFolder = withoutTrailingSlash(folder);
    f.shippedFolder = f.programFolder;
    f.plugInFolder = joinPath(f.programFolder, "PlugIns");
    return f;
}

std::string Folders::dataHomeFromEnvironment() {
    // Relative values are invalid for XDG and ignored.
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
        return withoutTrailingSlash(xdg);
    }
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        return joinPath(withoutTrailingSlash(home), ".local/share");
    }
    return {};
}

namespace {

// `rel` beside the program's bin folder when that folder exists, else "".
std::string besideBin(const std::string& executablePath, const char* rel) {
    if (executablePath.empty() || !rel) return {};
    std::error_code ec;
    const fs::path beside = fs::path(executablePath).parent_path().parent_path() / rel;
    if (fs::is_directory(beside, ec)) return beside.lexically_normal().string();
    return {};
}

}  // namespace

std::string Folders::installedShareDir(const std::string& executablePath) {
    // An installation may be moved or made with another prefix than the one
    // configured: the share folder beside the program's own bin folder wins.
#ifdef QUORVANE_SHARE_REL
    if (std::string beside = besideBin(executablePath, QUORVANE_SHARE_REL); !beside.empty())
        return withoutTrailingSlash(beside);
#else
    (void)executablePath;
#endif
#ifdef QUORVANE_SHARE_DIR
    return QUORVANE_SHARE_DIR;
#else
    return "/usr/local/share/quorvane";
#endif
}

std::string Folders::installedPlugInDir(const std::string& executablePath) {
#ifdef QUORVANE_PLUGIN_REL
    if (std::string beside = besideBin(executablePath, QUORVANE_PLUGIN_REL); !beside.empty())
        return withoutTrailingSlash(beside);
#else
    (void)executablePath;
#endif
#ifdef QUORVANE_PLUGIN_DIR
    return QUORVANE_PLUGIN_DIR;
#else
    return "/usr/local/lib/quorvane/PlugIns";
#endif
}

std::string Folders::shippedFile(const std::string& name) const {
    const std::string rel = toSlashPath(name);
    if (!rel.empty() && rel.front() == '/') return rel;
    if (programFolder.empty()) return joinPath(shippedFolder, rel);
    const std::string own = joinPath(programFolder, rel);
    if (isRegularFile(own) || shippedFolder == programFolder) return own;
    const std::string shipped = joinPath(shippedFolder, rel);
    if (isRegularFile(shipped)) return shipped;
    return own;
}

std::vector<std::string> Folders::listShipped(const std::string& pattern) const {
    // Keyed by file name so the program folder's copy hides the shipped one;
    // the map also gives the name order.
    std::map<std::string, std::string> byName;
    if (!programFolder.empty()) {
        for (const auto& path : listMatchingFiles(joinPath(programFolder, pattern)))
            byName.emplace(fileNameOf(path), path);
    }
    if (shippedFolder != programFolder) {
        for (const auto& path : listMatchingFiles(joinPath(shippedFolder, pattern))) {
            byName.emplace(fileNameOf(path), path);
        }
    }
    std::vector<std::string> out;
    out.reserve(byName.size());
    for (auto& [name, path] : byName) out.push_back(std::move(path));
    return out;
}

std::vector<std::string> Folders::listPlugIns() const {
    std::map<std::string, std::string> byName;
    const std::string own =
        programFolder.empty() ? std::string() : joinPath(programFolder, "PlugIns");
    for (const std::string& folder : {own, plugInFolder}) {
        if (folder.empty()) continue;
        for (const auto& path : listMatchingFiles(joinPath(folder, "Quorvane*.so")))
            byName.emplace(fileNameOf(path), path);
    }
    std::vector<std::string> out;
    out.reserve(byName.size());
    for (auto& [name, path] : byName) out.push_back(std::move(path));
    return out;
}

bool wildcardMatch(std::string_view pattern, std::string_view name) {
    // Greedy match with one backtrack point: linear in practice, never exponential.
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::vector<std::string> listMatchingFiles(const std::string& pathPattern) {
    const std::string pat = toSlashPath(pathPattern);
    const std::size_t slash = pat.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : (slash == 0 ? "/" : pat.substr(0, slash));
    const std::string namePattern = slash == std::string::npos ? pat : pat.substr(slash + 1);
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    if (ec) return {};
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        std::string name = it->path().filename().string();
        if (!wildcardMatch(namePattern, name)) continue;
        std::error_code typeEc;
        if (!it->is_regular_file(typeEc)) continue;  // follows links
        names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> out;
    out.reserve(names.size());
    for (auto& name : names) out.push_back(folder.empty() ? name : joinPath(folder, name));
    return out;
}

std::string helpPageName(const Folders& folders, const std::string& languageId,
                         const std::string& page) {
    std::string lang;
    for (const char c : languageId) {
        if (c >= 'a' && c <= 'z') lang += c;
        else if (c >= 'A' && c <= 'Z') lang += static_cast<char>(c - 'A' + 'a');
        else break;
    }
    if (!lang.empty() && lang.size() <= 8) {
        const std::string translated = "help/" + lang + "/" + page;
        if (isRegularFile(folders.shippedFile(translated))) return translated;
    }
    return "help/" + page;
}

}  // namespace qv
