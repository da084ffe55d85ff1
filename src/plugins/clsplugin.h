#pragma once
// The plug-in host: finds the plug-in components, keeps the per-type lists of
// plug-in identifiers ("component*name") and carries every call to a plug-in.
// Plug-ins are foreign code: a component that does not load is recorded and
// skipped, an answer that is not well-formed XML is no answer, and an
// exception thrown by a plug-in ends at this boundary.

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/folders.h"
#include "core/coreports.h"
#include "xml/vector.h"
#include "xml/xmlnode.h"

class QObject;
class QPluginLoader;

namespace qv {

class Program;

class clsPlugIn : public PlugInHost {
  public:
    // The seven plug-in types, in the order of their type texts.
    enum Type {
        kImport,
        kExport,
        kAction,
        kFileImport,
        kFileExport,
        kSynchronization,
        kGeneralPurpose,
        kTypeCount
    };
    static const char* typeText(int type);
    // The type of a type text; -1 for an unknown one.
    static int typeOf(const std::string& text);

    // A component file that could not be used, with the loader's reason.
    struct LoadError {
        std::string file;
        std::string error;
    };

    // What the host needs of the program; all optional.
    struct Hooks {
        std::function<bool()> safeMode;
        std::function<std::string()> languageName;
        // Called with true before a plug-in runs and false after it: the
        // program marks the call in progress and shows the busy cursor.
        std::function<void(bool)> callInProgress;
        // Where a component that cannot be used is reported.
        std::function<void(const std::string&)> log;
    };

    clsPlugIn();
    ~clsPlugIn() override;
    clsPlugIn(const clsPlugIn&) = delete;
    clsPlugIn& operator=(const clsPlugIn&) = delete;

    // Takes the folders, safe mode, language, modalOpen and busy cursor from
    // the program.
    void attach(Program& program);
    void setFolders(const Folders& folders) { folders_ = folders; }
    void setHooks(Hooks hooks) { hooks_ = std::move(hooks); }

    // ---- PlugInHost ----
    void loadPlugins() override;
    void loadDescriptions() override;
    std::vector<std::string> keptPlugIns() const override;
    std::string callKept(const std::string& identifier, const std::string& method) override;
    void releaseKept(const std::string& identifier) override;
    void releaseAll() override;

    // ---- PlugInCaller ----
    std::string methodCall(const std::string& identifier, const std::string& method,
                           const std::string& parameters, bool keep) override;
    // Creates the object here, runs its MethodCall on a thread of its own and
    // hands the answer to `done` on this thread through the event loop (at
    // once, without one). Nothing marks a call in progress: the supervision
    // goes on meanwhile.
    void methodCallInBackground(const std::string& identifier, const std::string& method,
                                const std::string& parameters,
                                std::function<void(const std::string&)> done) override;
    std::string lang() const override;
    std::string fileImportPlugInFor(const std::string& extension) const override;
    std::string fileExportPlugInFor(const std::string& extension) const override;
    std::string actionDescription(const std::string& identifier) const override;
    std::string synchDescription(const std::string& identifier) const override;

    // methodCall with the language element as the only parameter; the text of
    // the answer's child `elementName` (empty when absent).
    std::string commonMethodCall(const std::string& identifier, const std::string& method,
                                 const std::string& elementName);
    // The answer of an object the caller holds (a settings control); empty on
    // failure.
    std::string plugInMethodCall(QObject* plugIn, const std::string& request);
    // A request to a settings control of the plug-in `identifier`: the plug-in
    // name, the method, and the language element followed by `settings` (when given).
    std::string controlRequest(const std::string& identifier, const std::string& method,
                               const XMLNodePtr& settings) const;
    // A new object of a discovered component's class ("PlugIn" or a settings
    // control's name), owned by the caller; nullptr in safe mode or on failure.
    QObject* createObject(const std::string& component, const std::string& className);

    // Loads one component file and enters its plug-ins in the lists (used by
    // loadPlugins for each file, and by the tool for a single one). False
    // when the file could not be used; the reason is in loadErrors().
    bool discoverComponent(const std::string& file);
    // Empties the lists, the descriptions and the recorded failures.
    void clearLists();
    // The descriptions and file formats read after discovery.
    void clearDescriptions();

    const StringVector& plugIns(int type) const { return lists_.at(type); }
    const StringVector& actionDescriptions() const { return actionDescriptions_; }
    const StringVector& synchDescriptions() const { return synchDescriptions_; }
    // File-dialog texts of the file-import (export) plug-ins, parallel to their lists.
    const StringVector& importFilters() const { return importFilters_; }
    const StringVector& importExtensions() const { return importExtensions_; }
    const StringVector& exportFilters() const { return exportFilters_; }
    const StringVector& exportExtensions() const { return exportExtensions_; }
    const std::vector<LoadError>& loadErrors() const { return loadErrors_; }

    static constexpr const char* kDiscoveryRequest =
        "<xml><plugin>PlugInInfo</plugin><method>GetPlugIns</method></xml>";

  private:
    struct Kept {
        std::string identifier;
        QObject* object;
    };
    bool safeMode() const { return hooks_.safeMode && hooks_.safeMode(); }
    std::string envelope(const std::string& name, const std::string& method,
                         const std::string& parameters) const;
    QObject* factoryOf(const std::string& component);
    void releaseObject(QObject* object);
    void recordError(const std::string& file, const std::string& error);

    Folders folders_;
    Hooks hooks_;
    std::array<StringVector, kTypeCount> lists_;
    StringVector actionDescriptions_, synchDescriptions_;
    StringVector importFilters_, importExtensions_, exportFilters_, exportExtensions_;
    std::vector<LoadError> loadErrors_;
    std::vector<Kept> kept_;
    // Component name -> its file, and the loaded libraries. A library stays
    // loaded until the program ends: objects it made may still be alive.
    std::map<std::string, std::string> componentFiles_;
    std::map<std::string, std::unique_ptr<QPluginLoader>> loaders_;
    std::set<std::string> failed_;
    // Answers of background calls arriving after the host is gone are dropped.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // Background calls still inside a plug-in; the host waits for them before
    // it goes (their answers are posted to the application, which outlives it).
    std::shared_ptr<std::atomic<int>> running_ = std::make_shared<std::atomic<int>>(0);
};

}  // namespace qv
