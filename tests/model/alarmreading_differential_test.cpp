// Alarm::createFromXML reads an element's children in one pass; here it is held
// against the plain reading by name, one getter per field, over random and
// malformed alarm elements; reading a group file while it is parsed is held
// against reading its whole tree.

#include <random>

#include "base/files.h"
#include "modelfixture.h"
#include "xml/xmlparser.h"

using namespace qv;
using namespace qv::test;

namespace {

// The plain reading: each field looked up by name, as the typed getters do it,
// with a whole number beyond its field clamped and named, and a code outside
// its list taking the default.
AlarmPtr readByName(const XMLNode& node) {
    auto a = std::make_shared<Alarm>();
    std::string fault;
    auto note = [&](const XMLNode& child) {
        if (fault.empty())
            fault = child.name + " = " +
                    (child.Value.size() <= 40 ? child.Value.str()
                                              : child.Value.str().substr(0, 40) + "...");
    };
    auto whole = [&](const XMLNode& holder, const std::string& n, std::int32_t index,
                     std::int64_t def, std::int64_t lo, std::int64_t hi) -> std::int64_t {
        const std::int32_t at = holder.getNodeIndex(n, index);
        if (at < 0) return def;
        const XMLNode& child = *holder.getNodeAt(at);
        std::int64_t v = 0;
        switch (XMLNode::readWholeNumber(child.Value, lo, hi, v)) {
            case XMLNode::WholeNumber::kInRange:
                return v;
            case XMLNode::WholeNumber::kOutOfRange:
                note(child);
                return v;
            default:
                return def;
        }
    };
    auto i16 = [&](const std::string& n, std::int16_t def) {
        return static_cast<std::int16_t>(whole(node, n, 0, def, INT16_MIN, INT16_MAX));
    };
    auto i32 = [&](const std::string& n, std::int32_t def) {
        return static_cast<std::int32_t>(whole(node, n, 0, def, INT32_MIN, INT32_MAX));
    };
    auto code = [&](const std::string& n, std::int16_t def, int lo, int hi) {
        const std::string before = fault;
        const std::int16_t v = i16(n, def);
        if (v >= lo && v <= hi && fault == before) return v;
        note(*node.getNodeAt(node.getNodeIndex(n, 0)));
        return def;
    };
    std::vector<std::pair<std::int32_t, std::string>> order;  // position, field
    for (std::int32_t i = 0; i < node.getNumberOfNodes(); ++i) {
        const XMLNodePtr c = node.getNodeAt(i);
        if (c && c->name == "acti") order.push_back({i, "acti"});
    }
    // The reading takes the actions while it passes the children, the fields
    // afterwards: faults in actions are named first.
    for (const auto& [pos, what] : order) {
        const XMLNode& acti = *node.getNodeAt(pos);
        const std::int64_t type = whole(acti, "acid", 0, 0, INT16_MIN, INT16_MAX);
        if (type == 1 || type == 3 || type == 7 || type == 8) {
            const std::int32_t s = acti.getNodeIndex("sett", 0);
            if (s >= 0) {
                const XMLNode& sett = *acti.getNodeAt(s);
                for (const XMLNodePtr& c : sett.children()) {
                    if (!c) continue;
                    std::int64_t v;
                    const auto lo = c->name == "i" ? INT16_MIN : INT32_MIN;
                    const auto hi = c->name == "i" ? INT16_MAX : INT32_MAX;
                    if ((c->name == "i" || c->name == "l") &&
                        XMLNode::readWholeNumber(c->Value, lo, hi, v) ==
                            XMLNode::WholeNumber::kOutOfRange)
                        note(*c);
                }
            }
        }
    }
    a->name = node.getString("name", 0, "");
    a->momentKind = i16("datk", 0);
    a->everyAmount = i32("perl", 1);
    a->everyUnit = code("peru", kDays, 0, 6);
    a->onceDate = node.getDate("oncd", 0, kNever);
    a->nextDate = node.getDate("nexd", 0, kNever);
    a->activePeriod = i16("actp", 0);
    a->startDate = node.getDate("stad", 0, kNever);
    a->endDate = node.getDate("endd", 0, kNever);
    a->weekDays = i16("wkds", 0);
    a->activeAdvanced = node.getString("adva", 0, "");
    a->correctionAmount = i32("adda", 0);
    a->correctionUnit = code("addu", 0, 0, 6);
    for (const XMLNodePtr& child : node.children()) {
        if (child->name != "acti") continue;
        a->actions.addElement(clsAction::createFromXML(*child));
    }
    a->soundAfterInactive = node.getBoolean("saia", 0, true);
    a->Active = node.getBoolean("stat", 0, true);
    a->snoozing = node.getBoolean("snoz", 0, false);
    a->nextSnoozeAlarmDate = node.getDate("snod", 0, kNever);
    a->readOnly = node.getBoolean("rdon", 0, false);
    a->importance = code("impr", 0, -2, 2);
    a->durationAmount = i32("dura", 0);
    a->durationUnit = code("duru", 1, 0, 6);
    a->lastSnoozeSet = node.getNodeIndex("lsa", 0) >= 0;
    a->lastSnoozeAmount = i16("lsa", 0);
    a->lastSnoozeUnit = code("lsu", 0, 0, 6);
    a->lastSnoozeAddTo = i16("lsat", 0);
    a->Active = a->Active && fault.empty();
    a->rangeFault = fault;
    return a;
}

// Every field the reading sets, as text, so a difference names the field.
std::vector<std::string> fields(const Alarm& a) {
    std::vector<std::string> out = {
        "name=" + a.name,
        "datk=" + std::to_string(a.momentKind),
        "perl=" + std::to_string(a.everyAmount),
        "peru=" + std::to_string(a.everyUnit),
        "oncd=" + toStoredText(a.onceDate),
        "nexd=" + toStoredText(a.nextDate),
        "actp=" + std::to_string(a.activePeriod),
        "stad=" + toStoredText(a.startDate),
        "endd=" + toStoredText(a.endDate),
        "wkds=" + std::to_string(a.weekDays),
        "adva=" + a.activeAdvanced,
        "adda=" + std::to_string(a.correctionAmount),
        "addu=" + std::to_string(a.correctionUnit),
        "saia=" + std::to_string(a.soundAfterInactive),
        "stat=" + std::to_string(a.Active),
        "snoz=" + std::to_string(a.snoozing),
        "snod=" + toStoredText(a.nextSnoozeAlarmDate),
        "rdon=" + std::to_string(a.readOnly),
        "impr=" + std::to_string(a.importance),
        "dura=" + std::to_string(a.durationAmount),
        "duru=" + std::to_string(a.durationUnit),
        "lsa?=" + std::to_string(a.lastSnoozeSet),
        "lsa=" + std::to_string(a.lastSnoozeAmount),
        "lsu=" + std::to_string(a.lastSnoozeUnit),
        "lsat=" + std::to_string(a.lastSnoozeAddTo),
        "fault=" + a.rangeFault,
    };
    for (const ActionPtr& action : a.actions)
        out.push_back("acti=" + std::to_string(action->action) + "|" + action->plugin + "|" +
                      (action->settings ? action->settings->toString() : "-"));
    return out;
}

// Names the reading knows, near misses of them and strangers.
const std::vector<std::string> kNames = {
    "name", "datk", "perl", "peru", "oncd", "nexd",  "actp", "stad", "endd",  "wkds", "adva",
    "adda", "addu", "acti", "saia", "stat", "snoz",  "snod", "rdon", "impr",  "dura", "duru",
    "lsa",  "lsu",  "lsat", "NAME", "nam",  "names", "ls",   "lsb",  "lsatt", "acts", "x",
    "e",    "sett", "acid", "plug", "dat",  "datkk", "lsaa", "s"};

// Texts that convert, convert at the edges, or do not convert.
const std::vector<std::string> kValues = {"",
                                          "0",
                                          "1",
                                          "-1",
                                          "7",
                                          "32767",
                                          "32768",
                                          "-32768",
                                          "-32769",
                                          "2147483647",
                                          "2147483648",
                                          "-2147483649",
                                          " 12 ",
                                          "1.5",
                                          "2.5",
                                          "1e3",
                                          "1e10",
                                          "abc",
                                          "-0",
                                          "+4",
                                          "0x10",
                                          "true",
                                          "False",
                                          "2025/06/15 14:37:01",
                                          "2025/13/40 25:61:61",
                                          "0000/00/00 00:00:00",
                                          "9999/12/31 00:00:00",
                                          "2025/06/15",
                                          "20x5/06/15 14:37:01",
                                          "DAYOFMONTH <= 7 && WEEKDAY == MONDAY",
                                          "&amp;&lt;",
                                          "Tea & <b>biscuits</b>"};

std::string randomValue(std::mt19937& rng) {
    return kValues[std::uniform_int_distribution<std::size_t>(0, kValues.size() - 1)(rng)];
}

std::string randomAlarmXml(std::mt19937& rng) {
    std::string xml = "<alrm>";
    const int children = std::uniform_int_distribution<int>(0, 40)(rng);
    for (int i = 0; i < children; ++i) {
        const std::string& n =
            kNames[std::uniform_int_distribution<std::size_t>(0, kNames.size() - 1)(rng)];
        xml += "<" + n + ">";
        if (n == "acti" && rng() % 2 == 0) {
            xml += "<acid>" + randomValue(rng) + "</acid><plug>" + randomValue(rng) +
                   "</plug><sett><s>" + randomValue(rng) + "</s></sett>";
        } else {
            xml += XMLNode::stringToXMLString(randomValue(rng));
            // Now and then a child of its own: the value stays the text before it.
            if (rng() % 8 == 0) xml += "<name>" + randomValue(rng) + "</name>";
        }
        xml += "</" + n + ">";
    }
    return xml + "</alrm>";
}

// Cuts, doubles or garbles part of the text: whatever the parser builds from it
// must read the same both ways.
std::string mangle(std::string xml, std::mt19937& rng) {
    if (xml.empty()) return xml;
    auto at = [&] { return std::uniform_int_distribution<std::size_t>(0, xml.size() - 1)(rng); };
    switch (rng() % 4) {
        case 0:
            xml.resize(at());
            break;
        case 1:
            xml[at()] = "<>/&x\0"[rng() % 6];
            break;
        case 2: {
            const std::size_t from = at();
            xml.insert(at(), xml.substr(from, 20));
            break;
        }
        default:
            xml.erase(at(), 5);
            break;
    }
    return xml;
}

}  // namespace

TEST(AlarmReadingDifferential, OnePassReadsWhatTheLookupsByNameRead) {
    std::mt19937 rng(20261207);
    for (int round = 0; round < 3000; ++round) {
        std::string xml = randomAlarmXml(rng);
        if (round % 3 == 0) xml = mangle(std::move(xml), rng);
        const XMLNodePtr node = XMLNode::createFromXML(xml);
        const auto expected = fields(*readByName(*node));
        const auto actual = fields(*Alarm::createFromXML(*node, nullptr));
        ASSERT_EQ(actual, expected) << xml;
    }
}

TEST(AlarmReadingDifferential, WrittenAlarmsReadBackTheSame) {
    ModelFixture f;
    auto a = ModelFixture::periodic(dt(2025, 1, 31, 8, 15, 5), 3, kWeeks);
    a->importance = 2;
    a->durationAmount = 30;
    a->lastSnoozeSet = true;
    a->lastSnoozeAmount = 10;
    a->lastSnoozeUnit = kMinutes;
    a->lastSnoozeAddTo = 1;
    a->actions.addElement(clsAction::Create(f.ctx, a, clsAction::kSpeak));
    const XMLNodePtr node = XMLNode::createFromXML(a->toXML("alrm")->toString());
    EXPECT_EQ(fields(*Alarm::createFromXML(*node, nullptr)), fields(*readByName(*node)));
}

TEST(AlarmReadingDifferential, AnEmptyChildSlotIsPassedOver) {
    auto node = XMLNode::createFromXML("<alrm><name>Tea</name><datk>1</datk></alrm>");
    node->addNodeAt(0, nullptr);
    node->addNode(nullptr);
    const auto a = Alarm::createFromXML(*node, nullptr);
    EXPECT_EQ(a->name, "Tea");
    EXPECT_EQ(a->momentKind, Alarm::kPeriodic);
}

// A group file is read alarm by alarm while it is parsed; what it gives must be
// what reading the whole tree gives, for any text the parser accepts, and a
// text it rejects must give no group.
TEST(AlarmReadingDifferential, GroupFilesReadWhileParsedMatchTheWholeTree) {
    ModelFixture f;
    std::mt19937 rng(20261208);
    const std::string path = f.folder.file("usg_9.agx");
    const std::vector<std::string> extras = {
        "<name>Work &amp; home</name>", "<stat>0</stat>", "<colr>255</colr>", "<chsi>0</chsi>",
        "<syst><al><alrm><name>inner</name></alrm></al></syst>",
        "<tmpl><alrm><name>template</name></alrm></tmpl>", "<type>1</type>", "<name>second</name>",
        "<!-- note -->", "<alrm/>", "text"};
    for (int round = 0; round < 600; ++round) {
        std::string xml = rng() % 4 == 0 ? "<?xml version=\"1.0\"?>\n<algr>" : "<algr>";
        const int parts = std::uniform_int_distribution<int>(0, 12)(rng);
        for (int i = 0; i < parts; ++i)
            xml += rng() % 2 ? randomAlarmXml(rng)
                             : extras[std::uniform_int_distribution<std::size_t>(
                                   0, extras.size() - 1)(rng)];
        xml += "</algr>";
        if (round % 3 == 0) xml = mangle(std::move(xml), rng);
        ASSERT_TRUE(writeFile(path, xml));

        XMLNode whole;
        const bool broken = XMLParser::parse(xml, whole);
        const auto loaded = AlarmGroup::createAlarmGroupFromFile(f.ctx, path);
        if (broken) {
            EXPECT_FALSE(loaded) << xml;
            continue;
        }
        ASSERT_TRUE(loaded) << xml;
        const auto expected = AlarmGroup::createFromNode(f.ctx, whole);
        ASSERT_EQ(loaded->toXML()->toString(), expected->toXML()->toString()) << xml;
        ASSERT_EQ(loaded->numberOfAlarms(), expected->numberOfAlarms()) << xml;
    }
}
