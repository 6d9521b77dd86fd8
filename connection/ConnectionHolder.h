#pragma once
// The one server connection as its owner holds it: made once at start-up by a factory (a test
// hands in its own), possibly not at all when making it failed. The pages and pickers borrow
// the holder, so that they see the connection whenever it exists and never a dangling one.

#include <functional>
#include <memory>

class TADOConnection;

class ConnectionHolder {
public:
    using Factory = std::function<std::unique_ptr<TADOConnection>()>;

    // An empty factory makes a plain TADOConnection.
    explicit ConnectionHolder(Factory factory = {});
    ~ConnectionHolder(); // closes and frees
    ConnectionHolder(const ConnectionHolder&) = delete;
    ConnectionHolder& operator=(const ConnectionHolder&) = delete;

    // Makes the connection; raises what the factory raises, and then holds none.
    void create();
    // Closes and frees it; nothing happens when there is none.
    void release();

    bool exists() const { return connection_ != nullptr; }
    // Exists and is open.
    bool connected() const;
    // The connection for a handler. Raises EDatabaseError when it was never made, so that the
    // handler ends and the user reads why instead of the program crashing.
    TADOConnection& get() const;
    TADOConnection* pointer() const { return connection_.get(); }

private:
    Factory factory_;
    std::unique_ptr<TADOConnection> connection_;
};
