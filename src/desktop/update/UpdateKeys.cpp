#include "desktop/update/UpdateKeys.h"

namespace drovane::desktop {

const char* const makerPublicKey = "RWQlCVjTHGEqp9gNo+JwkHvvLigdhwh+0C94gX12/07dixqYfBq2u80r";

#ifdef DROVANE_TEST_UPDATE_PUBLIC_KEY
const char* const trustedPublicKey = DROVANE_TEST_UPDATE_PUBLIC_KEY;
const bool trustsThrowawayKey = true;
#else
const char* const trustedPublicKey = makerPublicKey;
const bool trustsThrowawayKey = false;
#endif

} // namespace drovane::desktop
