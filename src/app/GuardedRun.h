#pragma once

#include "app/GuiSeam.h"
#include "app/WaitCursor.h"
#include "db/DbError.h"

#include <type_traits>

namespace tessera {

// Runs a command's database work under the wait cursor; true when it
// completed. The work fails by a database error or, when it returns a bool,
// by returning false. The wait cursor is gone before the caller shows
// anything, so that no message box comes up under it.
template <class Work>
bool runWaiting(Work&& work)
{
    try {
        WaitCursor wait;
        if constexpr (std::is_void_v<std::invoke_result_t<Work&>>) {
            work();
            return true;
        } else {
            return bool(work());
        }
    } catch (const db::DbError&) {
        return false;
    }
}

// The same, and a failure shows the command's message.
template <class Work>
bool runWaiting(Work&& work, const Notice& failure)
{
    const bool completed = runWaiting(work);
    if (!completed)
        showNotice(failure);
    return completed;
}

} // namespace tessera
