// Output files appear whole or not at all: written under a temporary name
// beside the target, renamed into place once complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

class PendingFile {
public:
    explicit PendingFile(std::filesystem::path target);
    // Removes the temporary file unless it was committed.
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::filesystem::path& TempPath() const { return temp; }
    // Throws HostError(File) when the rename fails.
    void Commit();

private:
    std::filesystem::path target;
    std::filesystem::path temp;
    bool committed = false;
};

// Throw HostError(File) with the path and the reason. Reading stops after
// `limit` bytes, so that a device without end cannot exhaust memory.
std::vector<unsigned char> ReadWholeFile(const std::filesystem::path& path, std::size_t limit = SIZE_MAX);
void WriteWholeFile(const std::filesystem::path& path, std::span<const unsigned char> bytes);
