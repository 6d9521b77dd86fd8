#pragma once
// The peer of the program's client stack: the fewest ODBC calls that send a batch and fetch
// every value of every row, straight into reused buffers. No Qt, no value objects, no
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
    // Rows come in blocks of bound columns (a result with a long column: value by value).
    long run(const std::u16string& batch, std::u16string* firstValue = nullptr);
    // The same with one SQLFetch per row and one SQLGetData per value.
    long runValueByValue(const std::u16string& batch, std::u16string* firstValue = nullptr);

private:
    long execute(const std::u16string& batch, std::u16string* firstValue, bool inBlocks);

    struct HandleFree {
        SQLSMALLINT type;
        void operator()(void* h) const { SQLFreeHandle(type, h); }
    };
    using Handle = std::unique_ptr<void, HandleFree>;

    Handle env_{nullptr, {SQL_HANDLE_ENV}};
    Handle dbc_{nullptr, {SQL_HANDLE_DBC}};
    bool connected_ = false;
};
