#pragma once

namespace kiv {

// Runs work and turns any exception (an allocation failure, say) into the
// fallback result: nothing thrown inside the module reaches the host.
template <typename R, typename F>
R Guarded(R fallback, F&& work) noexcept {
    try {
        return work();
    } catch (...) {
        return fallback;
    }
}

}  // namespace kiv
