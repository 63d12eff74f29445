// Preloaded under valgrind only where valgrind cannot run octave-cli at all:
// libhwy (a dependency of Octave's image libraries) measures its timer with
// RDTSCP while it loads, and valgrind does not decode RDTSCP on CPUs whose
// CPUID hides it (seen on virtual AMD EPYC machines). This stands in for that
// one function; nothing of the project's code is replaced.
#include <cstdint>

namespace hwy {
namespace platform {
__attribute__((visibility("default"))) std::uint64_t TimerResolution() { return 1; }
}  // namespace platform
}  // namespace hwy
