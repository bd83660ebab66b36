// Output files appear whole or not at all: written under a temporary name
// beside the target, renamed into place once complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

class PendingFile {
public:
    // A target that exists but is no regular file (/dev/null, a pipe) is
    // written in place: it cannot be replaced. A symbolic link is followed.
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
    std::string shownTarget;  // as the user named it
    int slot = -1;            // in the list that RemoveUnfinishedFiles reads
    bool committed = false;
};

// The temporary name beside `target`: hidden, tagged, and shortened where
// the target's name is too long to take the additions within `nameMax`.
std::filesystem::path TemporaryName(const std::filesystem::path& target, std::size_t nameMax, unsigned tag);

// Removes the temporary files of every PendingFile not yet committed or
// destroyed, and returns a target one of them was for, or null. Safe in a
// signal handler and at exit, when no destructor runs.
const char* RemoveUnfinishedFiles();

// Throw HostError(File) with the path and the reason. Reading stops after
// `limit` bytes, so that a device without end cannot exhaust memory.
std::vector<unsigned char> ReadWholeFile(const std::filesystem::path& path, std::size_t limit = SIZE_MAX);
void WriteWholeFile(const std::filesystem::path& path, std::span<const unsigned char> bytes);
