#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <regex>

namespace qv {

namespace {

// What writeFile's temporary files end in.
constexpr const char* kTempEnding = ".qvtmp";

bool writeAll(int fd, const std::string& text) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Where a write to `path` must land: a symbolic link (or a chain of them) is
// followed to the file it names, so that the link stays a link. A dangling
// link gives the path of the missing file; a loop gives nothing.
std::optional<std::string> followLinks(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path p(path);
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) return p.string();
        const fs::path target = fs::read_symlink(p, ec);
        if (ec) return std::nullopt;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> tryReadFile(const std::string& path) {
    return tryReadFile(path, std::numeric_limits<std::size_t>::max(), nullptr);
}

std::optional<std::string> tryReadFile(const std::string& path, std::size_t maxBytes,
                                       bool* tooLarge) {
    std::string content;
    if (!readFileInto(path, maxBytes, content, tooLarge)) return std::nullopt;
    return content;
}

bool readFileInto(const std::string& path, std::size_t maxBytes, std::string& content,
                  bool* tooLarge) {
    if (tooLarge) *tooLarge = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    // Read straight into the text, sized by the file's length (one more byte to
    // see that it has not grown), rather than in pieces appended one by one:
    // the group files are read whole at every start.
    constexpr std::size_t kMaxGuess = std::size_t{1} << 30;
    if (S_ISREG(st.st_mode) && static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        ::close(fd);
        if (tooLarge) *tooLarge = true;
        return false;
    }
    const std::size_t guess = S_ISREG(st.st_mode) && st.st_size > 0
                                  ? std::min(static_cast<std::size_t>(st.st_size), kMaxGuess)
                                  : 0;
    // A reused buffer only grows; shrinking it to the guess costs nothing.
    content.resize(guess == 0 ? 65536 : guess + 1);
    std::size_t have = 0;
    bool failed = false;
    for (;;) {
        // A file that grows while it is read (or a device) is cut off at the limit.
        if (have > maxBytes) {
            if (tooLarge) *tooLarge = true;
            failed = true;
            break;
        }
        if (have == content.size()) {
            // Room for one byte past the limit, to see a file that goes beyond it.
            const std::size_t cap =
                maxBytes == std::numeric_limits<std::size_t>::max() ? maxBytes : maxBytes + 1;
            content.resize(std::max(content.size() + 1, std::min(2 * content.size(), cap)));
        }
        const ssize_t n = ::read(fd, content.data() + have, content.size() - have);
        if (n < 0) {
            if (errno == EINTR) continue;
            failed = true;
            break;
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (failed) return false;
    content.resize(have);
    return true;
}

std::string readFile(const std::string& path) { return tryReadFile(path).value_or(std::string()); }

namespace {

thread_local std::string lastFailure;
thread_local int lastErrno = 0;

// Records why a write failed (from errno, or the reason given) and says false.
bool failed(int error, const char* reason = nullptr) {
    lastFailure = reason ? reason : (error != 0 ? std::strerror(error) : "unknown error");
    lastErrno = reason ? 0 : error;
    return false;
}

}  // namespace

const std::string& lastWriteFailure() { return lastFailure; }
int lastWriteErrno() { return lastErrno; }

bool writeFile(const std::string& linkOrPath, const std::string& text) {
    if (linkOrPath.empty()) return failed(0, "no file name");
    const std::optional<std::string> target = followLinks(linkOrPath);
    if (!target) return failed(ELOOP);
    const std::string& path = *target;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return failed(EISDIR);
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    std::string tmp;
    int fd = -1;
    // Hidden, and with an ending of its own: a leftover never looks like one
    // of the files it stands in for ("usg_1.agx" must not leave a "usg_1.agx.*").
    const std::filesystem::path where(path);
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%016llx%s", static_cast<unsigned long long>(rng()),
                      kTempEnding);
        tmp = (where.parent_path() / ("." + where.filename().string() + suffix)).string();
        // The user's alone: what the program writes is nobody else's business.
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) return failed(errno);
    }
    if (fd < 0) return failed(EEXIST);
    // A file we replace keeps its permissions: a user who opened one up did so
    // on purpose. A new one is the user's only, whatever the umask.
    struct stat st {};
    ::fchmod(fd, ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0600);
    bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        return failed(error);
    }
    return true;
}

int removeStaleTempFiles(const std::string& folder) {
    static const std::regex ours(std::string("\\..+\\.[0-9a-f]{16}\\") + kTempEnding);
    static const std::regex earlier(".+\\.[0-9a-f]{16}\\.tmp");
    int removed = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!std::regex_match(name, ours) && !std::regex_match(name, earlier)) continue;
        if (!it->is_regular_file(ec)) continue;
        std::error_code removeError;
        if (std::filesystem::remove(it->path(), removeError)) ++removed;
    }
    return removed;
}

bool appendToFile(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool ok = writeAll(fd, text);
    return (::close(fd) == 0) && ok;
}

bool deleteFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(path, ec)) &&
        !std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec)))
        return false;
    return std::filesystem::remove(path, ec) && !ec;
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

bool folderExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

}  // namespace qv
