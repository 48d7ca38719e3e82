#pragma once
// The most heap memory a piece of work held at once, counted by this
// program's own operator new and delete, so a benchmark can set it against
// the size of its input.

#include <cstddef>

namespace bench {

class PeakMemory {
public:
    // Starts counting the peak from what is held now.
    static void Reset();
    // Most bytes held at once since the last Reset, above what was held then.
    static std::size_t PeakAboveStart();
};

}  // namespace bench
