#pragma once
// Where the program's files live. Portable (a file named "portable" beside the
// executable): the executable's folder holds everything. Installed: the files
// that ship with the program are read from <prefix>/share/quorvane and
// everything the program writes or the user adds goes to the data folder.

#include <string>
#include <string_view>
#include <vector>

namespace qv {

struct Folders {
    // Files the program writes and the user adds (settings, state, logs,
    // alarm groups, own language files and colour schemes). No trailing "/".
    std::string programFolder;
    // Files that ship with the program (language files, colour schemes,
    // icons, sounds, help). Equal to programFolder when portable.
    std::string shippedFolder;
    // The shipped plug-in components. Portable: programFolder + "/PlugIns";
    // installed: <prefix>/lib/.../quorvane/PlugIns, because shared libraries
    // belong under lib, not share.
    std::string plugInFolder;
    bool portable = false;

    // executablePath: the running program's file. shareDir: <prefix>/share/quorvane.
    // plugInDir: the shipped plug-ins' folder (empty: shareDir + "/PlugIns").
    // dataHome: $XDG_DATA_HOME or ~/.local/share. Installed, the program folder
    // dataHome + "/quorvane" is created here (a failure shows later, when
    // files cannot be written). Installed without an absolute dataHome, the
    // program folder is empty: there is nowhere to keep the user's files.
    static Folders detect(const std::string& executablePath, const std::string& shareDir,
                          const std::string& dataHome, const std::string& plugInDir = {});
    // Portable, both folders `f`: for tests and tools.
    static Folders forFolder(const std::string& f);

    // $XDG_DATA_HOME when set and absolute, else $HOME/.local/share; "" when
    // neither is known.
    static std::string dataHomeFromEnvironment();
    // The share folder this build was configured for (<prefix>/share/quorvane).
    // The share folder beside the program's bin folder (<prefix>/share/quorvane)
    // when it exists, else the one this build was configured for.
    static std::string installedShareDir(const std::string& executablePath = {});
    // Likewise the plug-in folder: <prefix>/<libdir>/quorvane/PlugIns beside
    // the program's bin folder when it exists, else the configured one.
    static std::string installedPlugInDir(const std::string& executablePath = {});

    // A file that ships with the program: the program folder's copy when it
    // exists, else the shipped folder's; the program-folder path when neither
    // has it. `name` may hold subfolders and "\" separators; an absolute
    // name is returned unchanged.
    std::string shippedFile(const std::string& name) const;

    // Files matching a wildcard name pattern ("*.lng") in both folders, as
    // full paths, one per file name (the program folder's copy wins), sorted
    // by file name.
    std::vector<std::string> listShipped(const std::string& pattern) const;

    // The plug-in components ("Quorvane*.so"): the user's own in the program
    // folder's PlugIns/ and the shipped ones, one per file name (the user's
    // copy wins), sorted by file name.
    std::vector<std::string> listPlugIns() const;
};

// The help page `page` ("index.html") in the language of the language file
// whose [Language] id is `languageId` ("de-de"): "help/de/<page>" when that
// page is shipped (or in the program folder), else the English
// "help/<page>". Only the id's leading letters name the folder, so an id
// from a foreign language file cannot lead outside the help folder.
std::string helpPageName(const Folders& folders, const std::string& languageId,
                         const std::string& page);

// "folder/pat*ern?": the regular files of the folder whose names match the
// pattern ("*" any run of characters, "?" one character, case-sensitive), as
// full paths sorted by file name. The pattern is split at the last "/" or
// "\"; without one the current folder is searched and bare names come back.
// A missing or unreadable folder gives an empty list.
std::vector<std::string> listMatchingFiles(const std::string& pathPattern);

// True when `name` matches the wildcard pattern ("*", "?"; case-sensitive).
bool wildcardMatch(std::string_view pattern, std::string_view name);

// "\" becomes "/": stored paths from the other platform's files.
std::string toSlashPath(std::string path);

// The file name's base name without its last extension ("a/English.lng" -> "English").
std::string baseNameOf(const std::string& path);

}  // namespace qv
