#include "ResultFetch.h"

#include "BoundColumn.h"
#include "OdbcColumnValue.h"
#include "OdbcDiagnostics.h"

#include <optional>

namespace {

bool succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

QStringList namesOf(const std::vector<OdbcColumnDescription>& columns) {
    QStringList names;
    names.reserve(qsizetype(columns.size()));
    for (const OdbcColumnDescription& c : columns)
        names.append(c.name);
    return names;
}

[[noreturn]] void throwFetchError(SQLHSTMT stmt) {
    throw errorFromHandle(SQL_HANDLE_STMT, stmt, QStringLiteral("Could not fetch a row"));
}

// SQLFetch until the result has no more rows, `onFetched` after each successful call.
template <typename OnFetched>
void fetchToEnd(SQLHSTMT stmt, OnFetched onFetched) {
    for (;;) {
        const SQLRETURN rc = SQLFetch(stmt);
        if (rc == SQL_NO_DATA)
            return;
        if (!succeeded(rc))
            throwFetchError(stmt);
        onFetched();
    }
}

OdbcResult fetchEachValue(SQLHSTMT stmt, const std::vector<OdbcColumnDescription>& columns) {
    OdbcResult result;
    result.columns = namesOf(columns);
    fetchToEnd(stmt, [&] {
        for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(columns.size()); ++c)
            result.values.append(readColumnValue(stmt, c, columns[c - 1]));
        ++result.rowCount;
    });
    return result;
}

// The statement's block attributes and bindings for one result, and their release: the handle
// goes on to the batch's next result, which must not write into buffers that are gone.
class BlockBinding {
public:
    BlockBinding(SQLHSTMT stmt, SQLULEN rows) : stmt_(stmt), statuses_(rows) {
        SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
        if (rows > 1) {
            // A driver may lower the size (01S02); what it took is what it fills.
            SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0);
            SQLULEN taken = 1;
            if (!succeeded(SQLGetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, &taken, 0, nullptr)) || taken < 1 ||
                taken > rows)
                taken = 1;
            rows_ = taken;
        }
        SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0);
        SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, statuses_.data(), 0);
    }
    ~BlockBinding() {
        SQLFreeStmt(stmt_, SQL_UNBIND);
        SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
        SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
        SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(1)), 0);
    }
    BlockBinding(const BlockBinding&) = delete;
    BlockBinding& operator=(const BlockBinding&) = delete;

    SQLULEN rows() const { return rows_; }
    SQLULEN fetched() const { return fetched_; }
    SQLUSMALLINT status(SQLULEN row) const { return statuses_[row]; }

private:
    SQLHSTMT stmt_;
    SQLULEN rows_ = 1;
    SQLULEN fetched_ = 0;
    std::vector<SQLUSMALLINT> statuses_;
};

// Bound columns for those that have a kind, SQLGetData for the rest (only with one row per block,
// where the driver allows reading unbound columns of the current row). Empty when binding failed
// before any row was fetched.
std::optional<OdbcResult> fetchBound(SQLHSTMT stmt, const std::vector<OdbcColumnDescription>& columns,
                                     const std::vector<std::optional<BoundColumn::Kind>>& kinds, SQLULEN rows) {
    BlockBinding binding(stmt, rows);
    std::vector<std::optional<BoundColumn>> bound(columns.size());
    for (size_t c = 0; c < columns.size(); ++c) {
        if (!kinds[c])
            continue;
        bound[c].emplace(columns[c], *kinds[c], binding.rows());
        if (!succeeded(bound[c]->bind(stmt, SQLUSMALLINT(c + 1))))
            return std::nullopt;
    }
    OdbcResult result;
    result.columns = namesOf(columns);
    fetchToEnd(stmt, [&] {
        for (SQLULEN r = 0; r < binding.fetched(); ++r) {
            const SQLUSMALLINT status = binding.status(r);
            if (status == SQL_ROW_NOROW)
                continue;
            if (status == SQL_ROW_ERROR)
                throwFetchError(stmt);
            for (size_t c = 0; c < columns.size(); ++c)
                result.values.append(bound[c] ? bound[c]->value(r)
                                                 : readColumnValue(stmt, SQLUSMALLINT(c + 1), columns[c]));
            ++result.rowCount;
        }
    });
    return result;
}

SQLUSMALLINT getDataExtensions(SQLHDBC dbc) {
    SQLUINTEGER extensions = 0;
    if (!succeeded(SQLGetInfo(dbc, SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions, nullptr)))
        return 0;
    return SQLUSMALLINT(extensions & 0xFFFF);
}

} // namespace

OdbcResult ResultFetch::fetchValueByValue(SQLHSTMT stmt, SQLSMALLINT columnCount) {
    return fetchEachValue(stmt, describeColumns(stmt, columnCount));
}

OdbcResult ResultFetch::fetch(SQLHSTMT stmt, SQLHDBC dbc, SQLSMALLINT columnCount) {
    const std::vector<OdbcColumnDescription> columns = describeColumns(stmt, columnCount);
    std::vector<std::optional<BoundColumn::Kind>> kinds;
    kinds.reserve(columns.size());
    size_t boundCount = 0;
    size_t lastBound = 0; // from 1; 0 when none
    size_t firstLong = 0; // from 1; 0 when none
    for (size_t c = 0; c < columns.size(); ++c) {
        kinds.push_back(BoundColumn::kindFor(columns[c]));
        if (kinds.back()) {
            ++boundCount;
            lastBound = c + 1;
        } else if (firstLong == 0) {
            firstLong = c + 1;
        }
    }
    std::optional<OdbcResult> result;
    if (boundCount == columns.size()) {
        result = fetchBound(stmt, columns, kinds, ResultFetch::kBlockRows);
    } else if (boundCount > 0) {
        // Without SQL_GD_ANY_COLUMN a driver reads unbound columns only after the last bound one.
        const bool allowed = (getDataExtensions(dbc) & SQL_GD_ANY_COLUMN) || firstLong > lastBound;
        if (allowed)
            result = fetchBound(stmt, columns, kinds, 1);
    }
    if (!result)
        result = fetchEachValue(stmt, columns);
    return std::move(*result);
}
