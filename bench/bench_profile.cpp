// Language texts are looked up thousands of times (every caption of every
// window); the cached reader against reading the file on every lookup, as the
// platform's profile call does.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/files.h"
#include "base/inifile.h"

namespace {

struct LanguageFile {
    std::string folder;
    std::string path;
    LanguageFile() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "qvbench-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
        folder = tmpl;
        path = folder + "/English.lng";
        std::ofstream out(path, std::ios::binary);
        for (int w = 0; w < 40; ++w) {
            out << "[frmWindow" << w << "]\n";
            for (int k = 0; k < 50; ++k)
                out << "s" << k << "=Text number " << k << " of window " << w << "\n";
        }
    }
    ~LanguageFile() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

const LanguageFile& languageFile() {
    static LanguageFile f;
    return f;
}

void BM_CachedLookup(benchmark::State& state) {
    const auto& f = languageFile();
    int i = 0;
    for (auto _ : state) {
        const int w = (i * 7) % 40, k = (i * 13) % 50;
        benchmark::DoNotOptimize(qv::getPrivateProfileString("frmWindow" + std::to_string(w),
                                                             "s" + std::to_string(k), "", f.path));
        ++i;
    }
}
BENCHMARK(BM_CachedLookup);

void BM_ReadFileEveryLookup(benchmark::State& state) {
    const auto& f = languageFile();
    int i = 0;
    for (auto _ : state) {
        const int w = (i * 7) % 40, k = (i * 13) % 50;
        const qv::ProfileText parsed(qv::readFile(f.path));
        benchmark::DoNotOptimize(
            parsed.find("frmWindow" + std::to_string(w), "s" + std::to_string(k)));
        ++i;
    }
}
BENCHMARK(BM_ReadFileEveryLookup);

}  // namespace

BENCHMARK_MAIN();
