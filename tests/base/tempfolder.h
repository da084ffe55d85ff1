#pragma once
// A fresh folder under the system's temporary folder, removed with its content
// at the end of the test.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace qv::testing {

class TempFolder {
  public:
    TempFolder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "qvbase-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
        path_ = tmpl;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Writes `content` as is (binary) to `name`, creating subfolders.
    std::string write(const std::string& name, const std::string& content) const {
        const std::string p = *this / name;
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
    std::string mkdir(const std::string& name) const {
        const std::string p = *this / name;
        std::filesystem::create_directories(p);
        return p;
    }

  private:
    std::string path_;
};

}  // namespace qv::testing
