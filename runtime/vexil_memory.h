// Bottom layer of the runtime: the script's sparse memory.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

class CVexilMemory {
public:
    static constexpr std::int32_t kBlockSize = 4096;

    // The cell at a script address; its block is created on first use.
    double& Mem(double address);
    std::size_t BlockCount() const { return Blocks.size(); }
    // Frees every block; the script sees zeros afterwards.
    void ClearMemory() { Blocks.clear(); }

protected:
    CVexilMemory() = default;
    ~CVexilMemory() = default;

private:
    std::map<std::int32_t, std::unique_ptr<double[]>> Blocks;
};
