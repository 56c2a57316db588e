#pragma once

#include "platform/Clock.h"

namespace drovane::desktop {

class SystemClock final : public Clock {
public:
    Date now() const override;
};

} // namespace drovane::desktop
