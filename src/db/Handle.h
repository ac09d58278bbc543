#pragma once

#include "db/DbError.h"

#include <sql.h>

#include <utility>

namespace tessera::db {

// Owns one ODBC handle and frees it on destruction. Move-only.
template <SQLSMALLINT Type>
class Handle {
public:
    Handle() noexcept = default;
    explicit Handle(SQLHANDLE parent)
    {
        const SQLRETURN rc = SQLAllocHandle(Type, parent, &m_handle);
        if (!SQL_SUCCEEDED(rc)) {
            m_handle = SQL_NULL_HANDLE;
            const SQLSMALLINT parentType = Type == SQL_HANDLE_ENV ? SQL_HANDLE_ENV
                : Type == SQL_HANDLE_DBC                           ? SQL_HANDLE_ENV
                                                                   : SQL_HANDLE_DBC;
            throw diagnosticsOf(parentType, parent, QStringLiteral("allocating a handle"));
        }
    }
    ~Handle() noexcept { reset(); }

    Handle(Handle&& other) noexcept : m_handle(std::exchange(other.m_handle, SQLHANDLE(SQL_NULL_HANDLE))) { }
    Handle& operator=(Handle&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_handle = std::exchange(other.m_handle, SQLHANDLE(SQL_NULL_HANDLE));
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    SQLHANDLE get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle != SQL_NULL_HANDLE; }

    void reset() noexcept
    {
        if (m_handle != SQL_NULL_HANDLE)
            SQLFreeHandle(Type, m_handle);
        m_handle = SQL_NULL_HANDLE;
    }

private:
    SQLHANDLE m_handle = SQL_NULL_HANDLE;
};

using EnvironmentHandle = Handle<SQL_HANDLE_ENV>;
using ConnectionHandle = Handle<SQL_HANDLE_DBC>;
using StatementHandle = Handle<SQL_HANDLE_STMT>;

} // namespace tessera::db
