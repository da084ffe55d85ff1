#pragma once
// The texts of a shipped plug-in: "<component>_<language>.lng" in the folder
// of the plug-in's own library, English when the language lacks a file or
// the text. Internal linkage on purpose: each library must find its own
// folder, not that of another plug-in that includes this too.

#include <dlfcn.h>

#include <QFileInfo>
#include <QString>

#include "base/inifile.h"

namespace {

QString pluginLibraryFolder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<const void*>(&pluginLibraryFolder), &info) || !info.dli_fname)
        return {};
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath();
}

// The text `key` of `section`, or the key itself when no file has it.
QString pluginText(const char* component, const char* section, const QString& language,
                   const char* key) {
    const QString folder = pluginLibraryFolder();
    for (const QString& lang : {language, QStringLiteral("English")}) {
        if (lang.isEmpty() || lang.contains(QLatin1Char('/'))) continue;
        const std::string file = (folder + QLatin1Char('/') + QLatin1String(component) +
                                  QLatin1Char('_') + lang + QStringLiteral(".lng"))
                                     .toStdString();
        if (auto value = qv::findProfileString(section, key, file))
            return QString::fromStdString(*value);
    }
    return QString::fromLatin1(key);
}

}  // namespace
