#include "ConnectionHolder.h"

#include "EDatabaseError.h"
#include "TADOConnection.h"

ConnectionHolder::ConnectionHolder(Factory factory) : factory_(std::move(factory)) {}

ConnectionHolder::~ConnectionHolder() {
    release();
}

void ConnectionHolder::create() {
    connection_.reset();
    connection_ = factory_ ? factory_() : std::make_unique<TADOConnection>();
}

void ConnectionHolder::release() {
    if (!connection_)
        return;
    connection_->Close();
    connection_.reset();
}

bool ConnectionHolder::connected() const {
    return connection_ && connection_->Connected();
}

TADOConnection& ConnectionHolder::get() const {
    if (!connection_)
        throw EDatabaseError(QStringLiteral("The server connection could not be created"));
    return *connection_;
}
