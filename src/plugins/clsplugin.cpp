#include "plugins/clsplugin.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QMetaObject>
#include <QObject>
#include <QPluginLoader>
#include <QString>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <exception>
#include <thread>

#include "core/program.h"
#include "quorvane/iplugin.h"
#include "xml/xmlnode.h"

namespace qv {

namespace {

constexpr std::array<const char*, clsPlugIn::kTypeCount> kTypeTexts = {
    "ImportPlugIn",     "ExportPlugIn",          "ActionPlugIn",        "FileImportPlugIn",
    "FileExportPlugIn", "SynchronizationPlugIn", "GeneralPurposePlugIn"};

QString toQ(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string fromQ(const QString& s) { return s.toUtf8().toStdString(); }

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The answer's root, or nullptr when the text is empty or not well formed.
XMLNodePtr parseAnswer(const std::string& answer) {
    if (answer.empty()) return nullptr;
    auto root = XMLNode::Create();
    if (root->initializeFromXML(answer)) return nullptr;
    return root;
}

// Marks a plug-in call in progress for as long as it lives, however the call ends.
class CallGuard {
  public:
    explicit CallGuard(const std::function<void(bool)>& hook) : hook_(hook) {
        if (hook_) hook_(true);
    }
    ~CallGuard() {
        if (hook_) hook_(false);
    }
    CallGuard(const CallGuard&) = delete;
    CallGuard& operator=(const CallGuard&) = delete;

  private:
    const std::function<void(bool)>& hook_;
};

// The first plug-in of `list` whose file patterns (parallel `extensions`)
// hold "*" + extension, compared without regard to case.
std::string firstForExtension(const StringVector& list, const StringVector& extensions,
                              const std::string& extension) {
    if (extension.empty()) return {};
    const std::string wanted = "*" + lower(extension);
    for (std::int32_t i = 0; i < list.numberOfElements() && i < extensions.numberOfElements();
         ++i) {
        const std::string patterns = lower(extensions.stringAt(i));
        // "*.ics" must not match "*.icsx": the pattern ends at a separator.
        for (std::size_t at = patterns.find(wanted); at != std::string::npos;
             at = patterns.find(wanted, at + 1)) {
            const std::size_t end = at + wanted.size();
            if (end == patterns.size() || patterns[end] == ';' || patterns[end] == ',' ||
                patterns[end] == ' ' || patterns[end] == '|' || patterns[end] == ')')
                return list.stringAt(i);
        }
    }
    return {};
}

std::string descriptionFor(const StringVector& list, const StringVector& descriptions,
                           const std::string& identifier) {
    for (std::int32_t i = 0; i < list.numberOfElements() && i < descriptions.numberOfElements();
         ++i) {
        if (list.stringAt(i) == identifier) return descriptions.stringAt(i);
    }
    return {};
}

}  // namespace

const char* clsPlugIn::typeText(int type) {
    return type >= 0 && type < kTypeCount ? kTypeTexts[static_cast<std::size_t>(type)] : "";
}

int clsPlugIn::typeOf(const std::string& text) {
    for (int t = 0; t < kTypeCount; ++t) {
        if (text == kTypeTexts[static_cast<std::size_t>(t)]) return t;
    }
    return -1;
}

clsPlugIn::clsPlugIn() = default;

clsPlugIn::~clsPlugIn() {
    alive_.reset();
    // The calendar plug-in's work is bounded; a foreign plug-in that never
    // returns keeps the program from ending, as it would in the foreground.
    while (running_->load() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    releaseAll();
}

void clsPlugIn::attach(Program& program) {
    folders_ = program.folders;
    Program* p = &program;
    // Calls nest (a plug-in may pump events while it runs): the flag is down
    // again only when the outermost call ends.
    auto depth = std::make_shared<int>(0);
    auto before = std::make_shared<bool>(false);
    hooks_.safeMode = [p] { return p->safeMode; };
    hooks_.languageName = [p] { return p->translation.language(); };
    hooks_.log = [p](const std::string& line) { p->writeLog(line); };
    hooks_.callInProgress = [p, depth, before](bool running) {
        if (running) {
            if ((*depth)++ == 0) *before = p->modalOpen;
            p->modalOpen = true;
            p->ports.ui.setBusy(true);
        } else {
            p->ports.ui.setBusy(false);
            if (*depth > 0 && --*depth == 0) p->modalOpen = *before;
        }
    };
}

// ---- Discovery ----------------------------------------------------------------------

void clsPlugIn::clearLists() {
    for (auto& list : lists_) list.clear();
    clearDescriptions();
    loadErrors_.clear();
}

void clsPlugIn::clearDescriptions() {
    actionDescriptions_.clear();
    synchDescriptions_.clear();
    importFilters_.clear();
    importExtensions_.clear();
    exportFilters_.clear();
    exportExtensions_.clear();
}

void clsPlugIn::loadPlugins() {
    clearLists();
    // In safe mode not even a library is loaded: its static initialisers are
    // plug-in code too.
    if (!safeMode()) {
        for (const std::string& file : folders_.listPlugIns()) {
            discoverComponent(file);
        }
    }
    loadDescriptions();
}

bool clsPlugIn::discoverComponent(const std::string& file) {
    if (safeMode()) return false;
    const std::string component = baseNameOf(file);
    componentFiles_[component] = file;
    failed_.erase(component);  // a new discovery tries again
    QObject* object = createObject(component, "PlugIn");
    if (!object) {
        // createObject recorded why when the library itself failed.
        if (loadErrors_.empty() || loadErrors_.back().file != file)
            recordError(file, "the component creates no PlugIn object");
        return false;
    }
    const std::string answer = plugInMethodCall(object, kDiscoveryRequest);
    releaseObject(object);
    const XMLNodePtr root = parseAnswer(answer);
    const XMLNodePtr plugins = root ? root->findNode("plugins") : nullptr;
    if (!plugins) {
        recordError(file, "the component does not answer GetPlugIns");
        return false;
    }
    for (const XMLNodePtr& plugin : plugins->children()) {
        if (!plugin || plugin->name != "plugin") continue;
        const int type = typeOf(plugin->getString("type"));
        const std::string name = plugin->getString("name");
        if (type < 0 || name.empty()) continue;
        const std::string identifier = component + "*" + name;
        StringVector& list = lists_[static_cast<std::size_t>(type)];
        if (list.indexOf(identifier) < 0) list.addString(identifier);
    }
    return true;
}

void clsPlugIn::loadDescriptions() {
    clearDescriptions();
    for (const std::string& id : lists_[kAction])
        actionDescriptions_.addString(commonMethodCall(id, "GetActionInfo", "shortdescription"));
    for (const std::string& id : lists_[kSynchronization])
        synchDescriptions_.addString(commonMethodCall(id, "GetSynchInfo", "shortdescription"));
    for (const std::string& id : lists_[kFileImport]) {
        const XMLNodePtr root = parseAnswer(methodCall(id, "GetImpFileFormats", lang(), false));
        importFilters_.addString(root ? root->getString("filters") : std::string());
        importExtensions_.addString(root ? root->getString("extensions") : std::string());
    }
    for (const std::string& id : lists_[kFileExport]) {
        const XMLNodePtr root = parseAnswer(methodCall(id, "GetExpFileFormats", lang(), false));
        exportFilters_.addString(root ? root->getString("filters") : std::string());
        exportExtensions_.addString(root ? root->getString("extensions") : std::string());
    }
}

void clsPlugIn::recordError(const std::string& file, const std::string& error) {
    loadErrors_.push_back({file, error});
    if (hooks_.log) hooks_.log("plug-in component not used: " + file + ": " + error);
}

// ---- Objects ------------------------------------------------------------------------

QObject* clsPlugIn::factoryOf(const std::string& component) {
    auto loaded = loaders_.find(component);
    if (loaded != loaders_.end()) return loaded->second->instance();
    const auto file = componentFiles_.find(component);
    if (file == componentFiles_.end() || failed_.count(component)) return nullptr;
    // Whatever goes wrong below is recorded once; later calls fail at once.
    failed_.insert(component);

    auto loader = std::make_unique<QPluginLoader>(toQ(file->second));
    // The IID is read from the file's metadata before any of its code runs.
    const QJsonObject meta = loader->metaData();
    if (meta.isEmpty()) {
        // Without metadata the loader stops before running anything and says
        // why (not a Qt plug-in, missing or unreadable file).
        loader->load();
        recordError(file->second, fromQ(loader->errorString()));
        return nullptr;
    }
    const QString iid = meta.value("IID").toString();
    if (iid != QStringLiteral(QUORVANE_PLUGIN_IID)) {
        recordError(file->second, "the plug-in's interface is \"" + fromQ(iid) +
                                      "\", not \"" QUORVANE_PLUGIN_IID "\"");
        return nullptr;
    }
    QObject* root = nullptr;
    try {
        root = loader->instance();
    } catch (...) {
        root = nullptr;
    }
    if (!root) {
        recordError(file->second, fromQ(loader->errorString()));
        return nullptr;
    }
    if (!qobject_cast<quorvane::IPlugInFactory*>(root)) {
        recordError(file->second, "the root object is not a plug-in factory");
        return nullptr;
    }
    failed_.erase(component);
    loaders_.emplace(component, std::move(loader));
    return root;
}

QObject* clsPlugIn::createObject(const std::string& component, const std::string& className) {
    if (safeMode()) return nullptr;
    QObject* root = factoryOf(component);
    auto* factory = root ? qobject_cast<quorvane::IPlugInFactory*>(root) : nullptr;
    if (!factory) return nullptr;
    QObject* object = nullptr;
    try {
        object = factory->create(toQ(className));
    } catch (...) {
        return nullptr;
    }
    if (object && !qobject_cast<quorvane::IPlugIn*>(object)) {
        releaseObject(object);
        return nullptr;
    }
    return object;
}

void clsPlugIn::releaseObject(QObject* object) {
    try {
        delete object;
    } catch (...) {
        // A destructor that throws has left the object half gone; nothing to add.
    }
}

// ---- Calls --------------------------------------------------------------------------

std::string clsPlugIn::lang() const {
    const std::string name = hooks_.languageName ? hooks_.languageName() : std::string();
    return "<language>" + XMLNode::stringToXMLString(name) + "</language>";
}

std::string clsPlugIn::envelope(const std::string& name, const std::string& method,
                                const std::string& parameters) const {
    return "<xml><plugin>" + XMLNode::stringToXMLString(name) + "</plugin><method>" +
           XMLNode::stringToXMLString(method) + "</method><params>" + parameters +
           "</params></xml>";
}

std::string clsPlugIn::controlRequest(const std::string& identifier, const std::string& method,
                                      const XMLNodePtr& settings) const {
    const std::size_t star = identifier.find('*');
    auto request = XMLNode::Create("xml");
    request->addString("plugin",
                       star == std::string::npos ? identifier : identifier.substr(star + 1));
    request->addString("method", method);
    auto params = XMLNode::Create("params");
    params->addString("language", hooks_.languageName ? hooks_.languageName() : std::string());
    if (settings) params->addNode(settings->getCopy());
    request->addNode(params);
    return request->toString();
}

std::string clsPlugIn::plugInMethodCall(QObject* plugIn, const std::string& request) {
    auto* target = plugIn ? qobject_cast<quorvane::IPlugIn*>(plugIn) : nullptr;
    if (!target) return {};
    std::string answer;
    {
        CallGuard guard(hooks_.callInProgress);
        try {
            answer = fromQ(target->MethodCall(toQ(request)));
        } catch (...) {
            return {};
        }
    }
    // Whatever the caller reads from the answer, it reads from well-formed XML.
    return parseAnswer(answer) ? answer : std::string();
}

std::string clsPlugIn::methodCall(const std::string& identifier, const std::string& method,
                                  const std::string& parameters, bool keep) {
    const std::size_t star = identifier.find('*');
    if (star == std::string::npos || safeMode()) return {};
    QObject* object = createObject(identifier.substr(0, star), "PlugIn");
    if (!object) return {};
    const std::string answer =
        plugInMethodCall(object, envelope(identifier.substr(star + 1), method, parameters));
    if (keep)
        kept_.push_back({identifier, object});
    else
        releaseObject(object);
    return answer;
}

void clsPlugIn::methodCallInBackground(const std::string& identifier, const std::string& method,
                                       const std::string& parameters,
                                       std::function<void(const std::string&)> done) {
    QCoreApplication* app = QCoreApplication::instance();
    const std::size_t star = identifier.find('*');
    // Without an event loop to bring the answer back, the call is made here.
    if (!app || star == std::string::npos || safeMode()) {
        done(methodCall(identifier, method, parameters, false));
        return;
    }
    // The object is made and released on this thread (the loaders and the
    // failure records are this thread's); only MethodCall runs on the worker,
    // with the request text in and the answer text out.
    QObject* object = createObject(identifier.substr(0, star), "PlugIn");
    auto* target = object ? qobject_cast<quorvane::IPlugIn*>(object) : nullptr;
    if (!target) {
        done({});
        return;
    }
    const std::string request = envelope(identifier.substr(star + 1), method, parameters);
    std::weak_ptr<bool> alive = alive_;
    std::shared_ptr<std::atomic<int>> running = running_;
    ++*running;
    std::thread([app, object, target, request, alive, running, done = std::move(done)]() mutable {
        std::string answer;
        try {
            answer = fromQ(target->MethodCall(toQ(request)));
        } catch (...) {
            answer.clear();
        }
        if (!parseAnswer(answer)) answer.clear();
        QMetaObject::invokeMethod(
            app,
            [object, alive, answer = std::move(answer), done = std::move(done)] {
                try {
                    delete object;
                } catch (...) {
                }
                if (!alive.expired()) done(answer);
            },
            Qt::QueuedConnection);
        --*running;
    }).detach();
}

std::string clsPlugIn::commonMethodCall(const std::string& identifier, const std::string& method,
                                        const std::string& elementName) {
    const XMLNodePtr root = parseAnswer(methodCall(identifier, method, lang(), false));
    return root ? root->getString(elementName) : std::string();
}

// ---- Kept plug-ins ------------------------------------------------------------------

std::vector<std::string> clsPlugIn::keptPlugIns() const {
    std::vector<std::string> out;
    out.reserve(kept_.size());
    for (const Kept& k : kept_) out.push_back(k.identifier);
    return out;
}

std::string clsPlugIn::callKept(const std::string& identifier, const std::string& method) {
    const auto it = std::find_if(kept_.begin(), kept_.end(),
                                 [&](const Kept& k) { return k.identifier == identifier; });
    if (it == kept_.end()) return {};
    const std::size_t star = identifier.find('*');
    // The object may be released during its own call (the plug-in pumps
    // events); hold the pointer, not the iterator.
    QObject* object = it->object;
    return plugInMethodCall(object, envelope(identifier.substr(star + 1), method, lang()));
}

void clsPlugIn::releaseKept(const std::string& identifier) {
    const auto it = std::find_if(kept_.begin(), kept_.end(),
                                 [&](const Kept& k) { return k.identifier == identifier; });
    if (it == kept_.end()) return;
    QObject* object = it->object;
    kept_.erase(it);
    releaseObject(object);
}

void clsPlugIn::releaseAll() {
    std::vector<Kept> all;
    all.swap(kept_);
    for (const Kept& k : all) releaseObject(k.object);
}

// ---- Lookups ------------------------------------------------------------------------

std::string clsPlugIn::fileImportPlugInFor(const std::string& extension) const {
    return firstForExtension(lists_[kFileImport], importExtensions_, extension);
}

std::string clsPlugIn::fileExportPlugInFor(const std::string& extension) const {
    return firstForExtension(lists_[kFileExport], exportExtensions_, extension);
}

std::string clsPlugIn::actionDescription(const std::string& identifier) const {
    return descriptionFor(lists_[kAction], actionDescriptions_, identifier);
}

std::string clsPlugIn::synchDescription(const std::string& identifier) const {
    return descriptionFor(lists_[kSynchronization], synchDescriptions_, identifier);
}

}  // namespace qv
