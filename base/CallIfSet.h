#pragma once

#include <utility>

// Calls a hook that its owner may have left unset (no window, no mailer in a test).
template <typename F, typename... Args>
void CallIfSet(const F& hook, Args&&... args)
{
    if (hook)
        hook(std::forward<Args>(args)...);
}
