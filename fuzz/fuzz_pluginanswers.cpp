// Plug-in answers as the program reads them. A plug-in object answers the
// fuzzer's bytes; the host checks the answer, and the readers take from it
// what they take from a real plug-in: the discovery list, the menu captions
// and descriptions, a settings control's "syst", a synchronisation's group
// (applied to a group that has alarms), a file import's group and the groups
// of an import. Whatever is built must write itself and read back.
#include <QObject>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "base/colors.h"
#include "base/dateformat.h"
#include "base/folders.h"
#include "base/random.h"
#include "base/settingsvalues.h"
#include "base/translation.h"
#include "model/alarmgroup.h"
#include "model/ports.h"
#include "plugins/clsplugin.h"
#include "quorvane/iplugin.h"
#include "xml/xmlnode.h"

namespace {

class Answering : public QObject, public quorvane::IPlugIn {
    Q_OBJECT
    Q_INTERFACES(quorvane::IPlugIn)

  public:
    QString answer;
    QString MethodCall(const QString&) override { return answer; }
};

// The model's calls go through the host's check of the answer.
class Caller : public qv::PlugInCaller {
  public:
    Caller(qv::clsPlugIn& host, Answering& plugIn) : host_(host), plugIn_(plugIn) {}
    std::string methodCall(const std::string& identifier, const std::string& method,
                           const std::string& parameters, bool) override {
        return host_.plugInMethodCall(&plugIn_, "<xml><plugin>" + identifier + "</plugin><method>" +
                                                    method + "</method><params>" + parameters +
                                                    "</params></xml>");
    }
    std::string fileImportPlugInFor(const std::string&) const override { return "QuorvaneFuzz*In"; }

  private:
    qv::clsPlugIn& host_;
    Answering& plugIn_;
};

class FixedClock : public qv::Clock {
  public:
    qv::DateTime now() const override { return qv::DateTime::fromParts(2026, 12, 7, 22, 0, 0); }
};

const char* const kGroup =
    "<algr><name>Calendar</name><sync>QuorvaneFuzz*Sync</sync><syst><i></i><i>1</i></syst>"
    "<alrm><name>Kept</name><datk>0</datk><oncd>2027/01/01 09:00:00</oncd></alrm></algr>";

void roundTrip(qv::ModelContext& ctx, const qv::AlarmGroupPtr& g) {
    if (!g) return;
    const std::string written = g->toXML()->toString();
    const auto again = qv::AlarmGroup::createFromXML(ctx, written);
    (void)again;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = [] {
        auto dir = std::filesystem::temp_directory_path() / "quorvane_fuzz_answers";
        std::filesystem::create_directories(dir);
        return dir.string();
    }();
    static const qv::Folders folders = qv::Folders::forFolder(folder);
    static qv::RandomSource random(1);
    static qv::modTranslation translation(folders, random);
    static qv::SettingsValues settings;
    static qv::FixedSystemColors systemColours;
    static qv::modColors colours(folders, systemColours);
    static qv::EnglishDateNames names;
    static FixedClock clock;
    static qv::SilentPerformer performer;
    static qv::NoSystemCommands commands;
    static qv::clsPlugIn host;
    static Answering plugIn;
    static Caller caller(host, plugIn);
    static qv::ModelContext ctx{translation, colours, settings, names, clock, caller, performer,
                                commands,    folder,  false,    0,     {},    {},     {}};

    plugIn.answer =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::string answer = host.plugInMethodCall(&plugIn, "<xml></xml>");
    // What the host lets through is well formed.
    if (!answer.empty() && qv::XMLNode::Create()->initializeFromXML(answer)) std::abort();
    const qv::XMLNodePtr root = qv::XMLNode::createFromXML(answer);

    // Discovery and the informational answers.
    if (const qv::XMLNodePtr plugins = root->getNode("plugins"))
        for (const qv::XMLNodePtr& p : plugins->children())
            if (p) (void)qv::clsPlugIn::typeOf(p->getString("type")), (void)p->getString("name");
    for (const char* child : {"name", "menucaption", "shortdescription", "description", "filters",
                              "extensions", "error"})
        (void)root->getString(child);
    (void)root->getBoolean("active", 0, false);
    if (const qv::XMLNodePtr syst = root->getNode("syst")) (void)syst->getCopy()->toString();

    // A synchronisation's answer applied to a group with an alarm.
    const auto group = qv::AlarmGroup::createFromXML(ctx, kGroup);
    std::string error;
    group->synchronize(ctx, &error);
    roundTrip(ctx, group);

    // A file import's group, and the groups of an import.
    roundTrip(ctx, qv::AlarmGroup::createAlarmGroupFromFile(ctx, folder + "/none.ics"));
    if (const qv::XMLNodePtr groups = root->getNode("alarmgroups"))
        for (const qv::XMLNodePtr& g : groups->children())
            if (g && g->name == "algr") roundTrip(ctx, qv::AlarmGroup::createFromNode(ctx, *g));
    return 0;
}

#include "fuzz_pluginanswers.moc"
