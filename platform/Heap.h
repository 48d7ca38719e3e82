#pragma once
// Where heap strings take their memory: the platform's heap in the launcher
// and the tool, the C++ one in pkgcheck, which links the rules they share.

#include <cstddef>

namespace launcher {

class Heap {
public:
    // Null when the memory is not there.
    virtual void* Allocate(std::size_t bytes) = 0;
    // Gives back a block from Allocate; null is allowed.
    virtual void Release(void* block) = 0;

protected:
    ~Heap() = default;
};

}  // namespace launcher
