// Value streams. Record 0 of the file table is the serialize stream that
// carries the saved state between the host and the serialize section.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vexil_strings.h"

struct TVexilFile {
    enum Mode : std::int32_t { Closed = 0, Reading = 1, Writing = 2 };

    std::string FileName;
    std::int32_t Position = 0;  // index in Buffer of the next value
    std::vector<float> Buffer;
    bool Dirty = false;   // cleared by every reset
    bool Usable = true;   // set at construction only
    std::int32_t Mode = Closed;
    std::int32_t CounterA = 0;  // cleared by every reset
    std::int32_t CounterB = 0;
};

class CVexilFiles : public CVexilStrings {
public:
    static void ResetFile(TVexilFile& file, std::int32_t mode);
    // Named files would be written out here; the serialize stream has no name.
    static void CloseFile(TVexilFile& file) { ResetFile(file, TVexilFile::Closed); }
    // Moves one script value to (writing) or from (reading) the stream.
    static void FileVar(TVexilFile& file, Relaxed<double>& variable);

    TVexilFile& SerializeStream() { return Files.front(); }

    std::vector<TVexilFile> Files;

protected:
    CVexilFiles() : Files(1) {}
    ~CVexilFiles();
};
