#pragma once

#include "copy/CopyUnit.h"
#include "db/DbError.h"

#include <QString>

#include <optional>
#include <utility>

// How a unit of the copy or of the verify ends, from wherever on either side
// it fails: thrown there, caught once at the unit's end. A lost connection
// outranks the reason the step had, so that a run ends once whichever side
// lost it.
namespace tessera::copy {

struct SideFailure {
    UnitEnd end;
    Side side;
    std::optional<db::DbError> error;

    // A database error on `side` in a step that otherwise ends with `end`.
    static SideFailure of(const db::DbError& error, Side side, UnitEnd end)
    {
        return {error.isConnectionLost() ? UnitEnd::ConnectionLost : end, side, error};
    }
    // A side that gave no row for its stall limit: abandoned as a lost connection.
    static SideFailure stalled(Side side)
    {
        return {UnitEnd::ConnectionLost, side,
                db::DbError(QStringLiteral("HYT01"), 0,
                            side == Side::Source ? QStringLiteral("旧版本数据库长时间没有响应,连接已放弃")
                                                 : QStringLiteral("新版本数据库长时间没有响应,连接已放弃"))};
    }

    // The unit's result (a UnitResult or a VerifyResult) ends as this failure says.
    template <class Result>
    void endInto(Result& result) const
    {
        result.end = end;
        result.side = side;
        result.error = error;
    }
};

// Runs one step on `side`; a database error there ends the unit.
template <class Step>
auto onSide(Side side, UnitEnd end, Step&& step)
{
    try {
        return std::forward<Step>(step)();
    } catch (const db::DbError& error) {
        throw SideFailure::of(error, side, end);
    }
}

} // namespace tessera::copy
