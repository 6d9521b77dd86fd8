#pragma once
// The simulated server's state and statement semantics, independent of the wire protocol.
// One Engine per running simulator, shared by all connections (thread-safe); one Session
// per client connection, used by that connection's thread only.

#include "EngineConfig.h"
#include "Session.h"

#include <memory>

namespace sqlsim {

class Engine {
public:
    // Opens (or creates) the state directory, loads the catalog, seeds when asked.
    // Throws std::runtime_error when the state cannot be opened.
    explicit Engine(EngineConfig config);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Checks a SQL login. On failure returns nullptr and fills *failure with the message
    // to send (18456, "Login failed for user '<name>'.").
    std::unique_ptr<Session> login(const QString& user, const QString& password, Message* failure);

    const EngineConfig& config() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace sqlsim
