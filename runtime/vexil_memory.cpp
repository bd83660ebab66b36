#include "vexil_memory.h"

#include "script_index.h"

double& CVexilMemory::Mem(double address) {
    const std::int64_t cell = ScriptIndex(address);
    const auto block = static_cast<std::int32_t>(cell >= 0 ? cell / kBlockSize : (cell - kBlockSize + 1) / kBlockSize);
    const auto offset = static_cast<std::int32_t>(cell - static_cast<std::int64_t>(block) * kBlockSize);
    auto& storage = Blocks[block];
    if (!storage) storage = std::make_unique<double[]>(kBlockSize);
    return storage[offset];
}
