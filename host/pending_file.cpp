#include "pending_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>

#include "host_error.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string Reason() { return errno ? std::strerror(errno) : "I/O error"; }

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::unique_ptr<std::FILE, CloseFile> OpenForReading(const fs::path& path) {
#if defined(_WIN32)
    return std::unique_ptr<std::FILE, CloseFile>(_wfopen(path.c_str(), L"rb"));
#else
    return std::unique_ptr<std::FILE, CloseFile>(std::fopen(path.c_str(), "rb"));
#endif
}

using NativeChar = fs::path::value_type;

constexpr int kMaxLinkHops = 40;

// What a signal handler may read: plain atomics in static storage.
struct Unfinished {
    std::atomic<bool> claimed{false};
    std::atomic<const NativeChar*> temp{nullptr};
    std::atomic<const char*> target{nullptr};
};
static_assert(std::atomic<const NativeChar*>::is_always_lock_free, "read in signal handlers");
Unfinished unfinished[16];

int Register(const NativeChar* temp, const char* target) {
    for (int i = 0; i < static_cast<int>(std::size(unfinished)); ++i) {
        if (unfinished[i].claimed.exchange(true)) continue;
        unfinished[i].target = target;
        unfinished[i].temp = temp;
        return i;
    }
    return -1;
}

void Release(int slot) {
    if (slot < 0) return;
    unfinished[slot].temp = nullptr;
    unfinished[slot].target = nullptr;
    unfinished[slot].claimed = false;
}

std::size_t NameMax(const fs::path& dir) {
#if !defined(_WIN32)
    const long max = pathconf(dir.empty() ? "." : dir.c_str(), _PC_NAME_MAX);
    if (max > 0) return static_cast<std::size_t>(max);
#else
    (void)dir;
#endif
    return 255;
}

// Whether a code unit continues a character rather than starting one.
#if defined(_WIN32)
bool ContinuesCharacter(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
#else
bool ContinuesCharacter(char unit) { return (static_cast<unsigned char>(unit) & 0xC0) == 0x80; }
#endif

}  // namespace

fs::path TemporaryName(const fs::path& target, std::size_t nameMax, unsigned tag) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".partial-%08x", tag);
    const fs::path::string_type additions = fs::path(suffix).native();
    fs::path::string_type name = target.filename().native();
    const std::size_t room = nameMax > additions.size() + 1 ? nameMax - additions.size() - 1 : 0;
    if (name.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && ContinuesCharacter(name[cut])) --cut;
        name.resize(cut);
    }
    fs::path temp = target;
    temp.replace_filename(fs::path::string_type(1, NativeChar('.')) + name + additions);
    return temp;
}

const char* RemoveUnfinishedFiles() {
    const char* named = nullptr;
    for (Unfinished& file : unfinished) {
        const NativeChar* temp = file.temp.exchange(nullptr);
        if (!temp) continue;
#if defined(_WIN32)
        _wunlink(temp);
#else
        unlink(temp);
#endif
        if (!named) named = file.target;
    }
    return named;
}

PendingFile::PendingFile(fs::path target) : target(std::move(target)), shownTarget(this->target.string()) {
    // Links are followed as shell redirection does, also to a file yet to be made.
    std::error_code error;
    for (int hops = 0; hops < kMaxLinkHops && fs::is_symlink(fs::symlink_status(this->target, error)); ++hops) {
        const fs::path link = fs::read_symlink(this->target, error);
        if (error) break;
        this->target = link.is_absolute() ? link : this->target.parent_path() / link;
    }
    const fs::file_status status = fs::status(this->target, error);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        temp = this->target;
        return;
    }
    // A random tag keeps two hosts writing the same target apart.
    temp = TemporaryName(this->target, NameMax(this->target.parent_path()), std::random_device{}());
    slot = Register(temp.c_str(), shownTarget.c_str());
}

PendingFile::~PendingFile() {
    if (!committed && temp != target) {
        std::error_code ignored;
        fs::remove(temp, ignored);
    }
    Release(slot);
}

void PendingFile::Commit() {
    if (temp != target) {
        std::error_code error;
        fs::rename(temp, target, error);
        if (error) throw HostError(ExitCode::File, "cannot write " + shownTarget + ": " + error.message());
    }
    committed = true;
    Release(slot);
    slot = -1;
}

// Through stdio: file streams of the C++ library throw their own exceptions
// on some read errors.
std::vector<unsigned char> ReadWholeFile(const std::filesystem::path& path, std::size_t limit) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) throw HostError(ExitCode::File, path.string() + ": no such file");
    if (std::filesystem::is_directory(path, error))
        throw HostError(ExitCode::File, path.string() + ": is a directory");
    errno = 0;
    const auto file = OpenForReading(path);
    if (!file) throw HostError(ExitCode::File, "cannot read " + path.string() + ": " + Reason());
    std::vector<unsigned char> bytes;
    unsigned char buffer[1 << 16];
    while (bytes.size() < limit) {
        const std::size_t read = std::fread(buffer, 1, std::min(sizeof buffer, limit - bytes.size()), file.get());
        bytes.insert(bytes.end(), buffer, buffer + read);
        if (read == 0) break;
    }
    if (std::ferror(file.get())) throw HostError(ExitCode::File, "cannot read " + path.string() + ": " + Reason());
    return bytes;
}

void WriteWholeFile(const std::filesystem::path& path, std::span<const unsigned char> bytes) {
    PendingFile pending(path);
    {
        errno = 0;
        std::ofstream out(pending.TempPath(), std::ios::binary | std::ios::trunc);
        if (out) out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (out) out.close();
        if (!out) throw HostError(ExitCode::File, "cannot write " + path.string() + ": " + Reason());
    }
    pending.Commit();
}
