#pragma once
// This test program's own operator new, which can be told to refuse one
// allocation: the k-th while armed, counting from 0. Work done by the fake
// platform on the launcher's behalf is paused out, so k counts only the
// launcher's own allocations.

#include <cstddef>

namespace launcher::testing {

class AllocationHook {
public:
    // Counts allocations from now on and refuses the one numbered `refuse`
    // (none when negative).
    static void Arm(long refuse);
    // Stops counting; gives how many allocations were counted.
    static long Disarm();

    // Allocations in its lifetime are neither counted nor refused.
    class Pause {
    public:
        Pause();
        ~Pause();
        Pause(const Pause&) = delete;
        Pause& operator=(const Pause&) = delete;
    };
};

}  // namespace launcher::testing
