#include "vexil_files.h"

void CVexilFiles::ResetFile(TVexilFile& file, std::int32_t mode) {
    file.FileName.clear();
    file.Position = 0;
    file.CounterA = 0;
    file.CounterB = 0;
    file.Dirty = false;
    file.Buffer.clear();
    file.Mode = mode;
}

void CVexilFiles::FileVar(TVexilFile& file, Relaxed<double>& variable) {
    if (file.Position < 0) return;
    const auto position = static_cast<std::size_t>(file.Position);
    if (file.Mode == TVexilFile::Writing) {
        if (file.Buffer.size() < position + 1) file.Buffer.resize(position + 1, 0.0f);
        file.Buffer[position] = static_cast<float>(variable.load());
        ++file.Position;
    } else if (file.Mode == TVexilFile::Reading) {
        if (position < file.Buffer.size()) {
            variable = static_cast<double>(file.Buffer[position]);
            ++file.Position;
        }
    }
}

CVexilFiles::~CVexilFiles() {
    for (TVexilFile& file : Files) CloseFile(file);
}
