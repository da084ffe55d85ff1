// The settings file as start-up reads it: whatever usr.cfx holds, loading
// never fails or crashes, every whole number lands within the range the
// settings dialog allows, and what is then saved loads and saves again to the
// same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/files.h"
#include "core/corefixture.h"

namespace {

qv::test::CoreFixture& fixture() {
    static auto* f = new qv::test::CoreFixture;
    return *f;
}

template <class T>
void within(T v, long long lo, long long hi) {
    if (v < lo || v > hi) std::abort();
}

void checkRanges(const qv::SettingsValues& s) {
    within(s.wl, 0, 32767);
    within(s.wu, 0, 2);
    within(s.tc, -60000, 60000);
    within(s.svol, 0, 100);
    within(s.vvol, 0, 100);
    within(s.vspd, -10, 10);
    within(s.tiia, 0, INT32_MAX);
    within(s.acmm, 1, 32767);
    within(s.acst, 1, 32767);
    within(s.cao, 0, 32767);
    within(s.ibw, 1, 100);
    within(s.ola, 0, INT32_MAX);
    within(s.olu, 0, 6);
    within(s.dsa, 0, 32767);
    within(s.dsu, 0, 6);
    within(s.dsat, 0, 1);
    within(s.rmwn, 0, 1);
    within(s.df.da, 0, 3);
    within(s.df.ti, 0, 1);
    within(s.df.sc, 0, 1);
    within(s.mw.state, 0, 2);
    within(s.awW, 0, INT32_MAX);
    within(s.awH, 0, INT32_MAX);
    within(s.staS1, 0, INT32_MAX);
    within(s.staS2, 0, INT32_MAX);
    for (const auto& sa : s.sa) {
        within(sa.amount, 0, 32767);
        within(sa.unit, 0, 6);
    }
    if (!(s.font.sz >= 0 && s.font.sz <= 400)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qv::test::CoreFixture& f = fixture();
    const std::string usr = f.folder.file("usr.cfx");
    if (!qv::writeFile(usr, std::string(reinterpret_cast<const char*>(data), size))) std::abort();
    f.p().settings = qv::SettingsValues();
    if (!f.p().settingsStore.loadSettings(false)) std::abort();
    checkRanges(f.p().settings);
    if (!f.p().settingsStore.saveSettings()) std::abort();
    const std::string first = qv::readFile(usr);
    f.p().settings = qv::SettingsValues();
    if (!f.p().settingsStore.loadSettings(false)) std::abort();
    checkRanges(f.p().settings);
    if (!f.p().settingsStore.saveSettings()) std::abort();
    if (qv::readFile(usr) != first) std::abort();
    // A damaged file's copy is not what this looks at; start each input afresh.
    (void)qv::deleteFile(usr + ".damaged");
    return 0;
}
