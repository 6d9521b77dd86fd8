#pragma once
// The peer of the program's client stack: the fewest ODBC calls that send a batch and fetch
// every value of every row, straight into a reused buffer. No Qt, no value objects, no
// widgets: what any client of this driver must spend at least.

#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <string>

class MinimalOdbc {
public:
    // Connects with the connection string (ASCII); throws std::runtime_error.
    explicit MinimalOdbc(const std::string& connectionString);
    ~MinimalOdbc();
    MinimalOdbc(const MinimalOdbc&) = delete;
    MinimalOdbc& operator=(const MinimalOdbc&) = delete;

    // Runs one batch (UTF-16 as the program sends it), fetches every value of every result as
    // text and drains all results. Returns the number of rows fetched; throws on an error. When
    // firstValue is given it receives the first value of the first row.
    long run(const std::u16string& batch, std::u16string* firstValue = nullptr);

private:
    struct HandleFree {
        SQLSMALLINT type;
        void operator()(void* h) const { SQLFreeHandle(type, h); }
    };
    using Handle = std::unique_ptr<void, HandleFree>;

    Handle env_{nullptr, {SQL_HANDLE_ENV}};
    Handle dbc_{nullptr, {SQL_HANDLE_DBC}};
    bool connected_ = false;
};
