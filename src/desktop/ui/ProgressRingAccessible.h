#pragma once

namespace drovane::desktop {

// Qt Quick (6.4) hands a value to assistive technology only for sliders, spin boxes, dials and
// scroll bars. An item named "progressRing" is described here instead, as a progress bar whose
// value is its `value` property (percent) and whose name is its `label`. Installed once per
// process, before the first window that shows a ring. Main thread only.
void installProgressRingAccessible();

} // namespace drovane::desktop
