// Registry internals for the platform's own tests and tools.
#pragma once

namespace qor {

// Closes every open registry handle and hive file. The next registry call opens the hives
// again, in the folder that QOR_REGISTRY_DIR names at that moment, so that each test can use
// a fresh folder of its own.
void ResetRegistry();

}  // namespace qor
