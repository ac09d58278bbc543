#pragma once

#include "app/GuiSeam.h"
#include "app/WaitCursor.h"
#include "db/DbError.h"

#include <optional>
#include <type_traits>

namespace tessera {

// Runs a command's database work under the wait cursor; true when it
// completed. The work fails by a database error (kept in `refusal` when
// given) or, when it returns a bool, by returning false. The wait cursor is
// gone before the caller shows anything, so that no message box comes up
// under it.
template <class Work>
bool runWaiting(Work&& work, std::optional<db::DbError>* refusal = nullptr)
{
    try {
        WaitCursor wait;
        if constexpr (std::is_void_v<std::invoke_result_t<Work&>>) {
            work();
            return true;
        } else {
            return bool(work());
        }
    } catch (const db::DbError& error) {
        if (refusal)
            *refusal = error;
        return false;
    }
}

// The same, and a failure shows the command's message, the driver's text
// (with its SQLSTATE) as its details.
template <class Work>
bool runWaiting(Work&& work, const Notice& failure)
{
    std::optional<db::DbError> refusal;
    const bool completed = runWaiting(work, &refusal);
    if (!completed)
        showNotice(failure, refusal ? refusal->message() : QString());
    return completed;
}

} // namespace tessera
