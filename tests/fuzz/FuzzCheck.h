#pragma once

#include <cstdlib>

// A broken invariant must stop the run where libFuzzer sees it, with the
// input kept, whatever the build's assertions are set to.
inline void Check(bool ok) {
    if (!ok) std::abort();
}
