// Reading and writing a large alarm-group file: our parser against libxml2's
// tree parser and pugixml, on the same ~1 MB text held in memory.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <malloc.h>

#include <cstdio>
#include <map>
#include <pugixml.hpp>
#include <string>

#include "base/datetime.h"
#include "model/alarm.h"
#include "xml/xmlnode.h"
#include "xml/xmlparser.h"

namespace {

using qv::DateTime;
using qv::XMLNode;
using qv::XMLNodePtr;

std::string makeGroupFile() {
    auto group = XMLNode::Create("algr");
    group->addString("name", "Work & home <main>");
    group->addBoolean("stat", true);
    group->addString("chsi", "");
    group->addLong("colr", 16777215);
    group->addBoolean("sync", false);
    group->addNode(XMLNode::Create("syst"));
    const DateTime base = DateTime::fromParts(2024, 1, 1, 7, 30, 0);
    for (int i = 0; i < 2000; ++i) {
        auto alarm = XMLNode::Create("alrm");
        alarm->addString("name", "Call #" + std::to_string(i) + ": Smith & Jones <4>");
        alarm->addDate("datk", qv::addToDate(base, i, qv::kHours));
        alarm->addInteger("perl", static_cast<std::int16_t>(1 + i % 7));
        alarm->addInteger("peru", static_cast<std::int16_t>(i % 7));
        alarm->addDouble("oncd", 0.5 + i % 3);
        alarm->addDate("nexd", qv::addToDate(base, i + 24, qv::kHours));
        alarm->addInteger("actp", static_cast<std::int16_t>(i % 3));
        alarm->addDate("stad", base);
        alarm->addDate("endd", qv::kNever);
        alarm->addString("wkds", "0111110");
        alarm->addString("adva", i % 5 == 0 ? "weekday(date) <> 1 & day(date) > 3" : "");
        alarm->addInteger("adda", 0);
        alarm->addInteger("addu", 3);
        for (int a = 0; a < 2; ++a) {
            auto action = XMLNode::Create("acti");
            action->addInteger("acid", static_cast<std::int16_t>(a + 1));
            action->addString("plug", i % 10 == 0 && a == 1 ? "QuorvaneSpeech*Speak" : "");
            auto settings = XMLNode::Create("sett");
            settings->addString("s", "Smith & Jones");
            settings->addInteger("i", static_cast<std::int16_t>(i % 100));
            action->addNode(settings);
            alarm->addNode(action);
        }
        alarm->addBoolean("saia", i % 2 == 0);
        alarm->addBoolean("stat", true);
        alarm->addInteger("snoz", 5);
        alarm->addDate("snod", qv::kNever);
        alarm->addBoolean("rdon", false);
        group->addNode(alarm);
    }
    return group->toString();
}

const std::string& groupFile() {
    static const std::string text = makeGroupFile();
    return text;
}

void parseQuorvane(benchmark::State& state) {
    const std::string& text = groupFile();
    for (auto _ : state) {
        XMLNode root;
        const bool failed = qv::XMLParser::parse(text, root);
        benchmark::DoNotOptimize(failed);
        if (failed) state.SkipWithError("parse failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void parseLibxml2(benchmark::State& state) {
    const std::string& text = groupFile();
    for (auto _ : state) {
        xmlDocPtr doc =
            xmlReadMemory(text.data(), static_cast<int>(text.size()), "group.agx", nullptr, 0);
        if (!doc) state.SkipWithError("parse failed");
        xmlFreeDoc(doc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void parsePugixml(benchmark::State& state) {
    const std::string& text = groupFile();
    for (auto _ : state) {
        pugi::xml_document doc;
        const auto result = doc.load_buffer(text.data(), text.size());
        if (!result) state.SkipWithError("parse failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void writeQuorvane(benchmark::State& state) {
    const std::string& text = groupFile();
    XMLNode root;
    if (qv::XMLParser::parse(text, root)) state.SkipWithError("parse failed");
    for (auto _ : state) {
        std::string out = root.toString();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// Loading a group's alarms as start-up does: each alarm read as soon as its
// element is parsed (its nodes go at once), against parsing the whole tree and
// reading the alarms from it afterwards.
void readAlarmsWhileParsing(benchmark::State& state) {
    const std::string& text = groupFile();
    for (auto _ : state) {
        std::vector<qv::AlarmPtr> alarms;
        XMLNode root;
        const bool failed = qv::XMLParser::parse(text, root, [&](const XMLNodePtr& child) {
            if (child->name != "alrm") return false;
            alarms.push_back(qv::Alarm::createFromXML(*child, nullptr));
            return true;
        });
        if (failed || alarms.size() != 2000) state.SkipWithError("parse failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void readAlarmsFromWholeTree(benchmark::State& state) {
    const std::string& text = groupFile();
    for (auto _ : state) {
        std::vector<qv::AlarmPtr> alarms;
        XMLNode root;
        const bool failed = qv::XMLParser::parse(text, root);
        for (const XMLNodePtr& child : root.children())
            if (child->name == "alrm") alarms.push_back(qv::Alarm::createFromXML(*child, nullptr));
        if (failed || alarms.size() != 2000) state.SkipWithError("parse failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// The heap the whole parsed tree of the file holds (glibc's count of bytes in
// use, blocks and small allocations alike), and its number of nodes.
void printTreeMemory() {
    const std::string& text = groupFile();
    malloc_trim(0);
    const struct mallinfo2 before = mallinfo2();
    auto root = std::make_shared<XMLNode>();
    if (qv::XMLParser::parse(text, *root)) return;
    const struct mallinfo2 after = mallinfo2();
    std::size_t nodes = 0;
    std::vector<const XMLNode*> walk{root.get()};
    while (!walk.empty()) {
        const XMLNode* node = walk.back();
        walk.pop_back();
        ++nodes;
        for (const XMLNodePtr& child : node->children()) walk.push_back(child.get());
    }
    const double bytes =
        static_cast<double>((after.uordblks + after.hblkhd) - (before.uordblks + before.hblkhd));
    std::printf("parsed tree held: %zu nodes, %.2f MiB of heap (%.0f bytes a node)\n", nodes,
                bytes / (1024.0 * 1024.0), bytes / static_cast<double>(nodes));
}

// Keeps the console output and remembers each benchmark's time per iteration.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            // Single runs, or the mean when repetitions are asked for.
            const bool mean = run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean";
            if ((run.run_type == Run::RT_Iteration || mean) && !run.error_occurred)
                times[run.run_name.str()] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    // Freed memory stays with the process for the whole run. Otherwise glibc
    // gives the top of the heap back whenever enough of it is free, and a
    // parser then pays page faults or not depending on what the benchmark
    // before it left behind (pugixml took 1.0 or 1.9 ms by that alone).
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    xmlInitParser();
    std::printf("alarm-group file: %zu bytes\n", groupFile().size());
    printTreeMemory();
    benchmark::RegisterBenchmark("BM_ParseGroupFile/quorvane", parseQuorvane)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_ParseGroupFile/libxml2", parseLibxml2)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_ParseGroupFile/pugixml", parsePugixml)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_WriteGroupFile/quorvane", writeQuorvane)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_ReadAlarms/whileParsing", readAlarmsWhileParsing)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_ReadAlarms/wholeTree", readAlarmsFromWholeTree)
        ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto ratio = [&](const char* other) {
        const auto ours = reporter.times.find("BM_ParseGroupFile/quorvane");
        const auto theirs = reporter.times.find(std::string("BM_ParseGroupFile/") + other);
        if (ours == reporter.times.end() || theirs == reporter.times.end()) return;
        std::printf("CPU time ratio quorvane/%s: %.2f (below 1: quorvane is faster)\n", other,
                    ours->second / theirs->second);
    };
    ratio("libxml2");
    ratio("pugixml");
    const auto streamed = reporter.times.find("BM_ReadAlarms/whileParsing");
    const auto whole = reporter.times.find("BM_ReadAlarms/wholeTree");
    if (streamed != reporter.times.end() && whole != reporter.times.end())
        std::printf("CPU time ratio reading alarms while parsing/from the whole tree: %.2f\n",
                    streamed->second / whole->second);
    xmlCleanupParser();
    return 0;
}
