#include "pending_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>

#include "host_error.h"

namespace {

std::string Reason() { return errno ? std::strerror(errno) : "I/O error"; }

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::unique_ptr<std::FILE, CloseFile> OpenForReading(const std::filesystem::path& path) {
#if defined(_WIN32)
    return std::unique_ptr<std::FILE, CloseFile>(_wfopen(path.c_str(), L"rb"));
#else
    return std::unique_ptr<std::FILE, CloseFile>(std::fopen(path.c_str(), "rb"));
#endif
}

}  // namespace

PendingFile::PendingFile(std::filesystem::path target) : target(std::move(target)) {
    // A random tag keeps two hosts writing the same target apart.
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08x", static_cast<unsigned>(std::random_device{}()));
    temp = this->target;
    std::string name = ".";
    name += this->target.filename().string();
    name += ".partial-";
    name += tag;
    temp.replace_filename(name);
}

PendingFile::~PendingFile() {
    if (committed) return;
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
}

void PendingFile::Commit() {
    std::error_code error;
    std::filesystem::rename(temp, target, error);
    if (error) throw HostError(ExitCode::File, "cannot write " + target.string() + ": " + error.message());
    committed = true;
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
