// "Data\\flames.dat", one fire emitter per line, as the particle manager reads it at start-up, with the
// other particle tables small and valid.

#include "ParticleTablesFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    particlefuzz::Run(particlefuzz::Flames, data, size);
    return 0;
}
