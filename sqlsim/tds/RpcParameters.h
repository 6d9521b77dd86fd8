#pragma once
// The parameters of an RPC request (MS-TDS 2.2.6.6): name, status and value, for the types that
// clients send to the procedures sqlsim answers (integers, bit, Unicode and single-byte text).

#include "WireBuffer.h"

#include <QString>

#include <optional>
#include <variant>
#include <vector>

namespace sqlsim::tds {

struct RpcParameter {
    QString name; // empty when passed by position
    bool output = false;
    std::variant<std::monostate, qint64, QString> value; // monostate: NULL

    bool isNull() const { return std::holds_alternative<std::monostate>(value); }
    std::optional<qint64> integer() const;
    QString text() const; // empty for NULL and for integers
};

// Reads the first count parameters (fewer when the payload ends first); the rest, which the
// procedures here do not use, stay unread. Throws ProtocolError on a malformed stream or a
// type this reader does not know.
std::vector<RpcParameter> readRpcParameters(ByteReader& r, size_t count);

} // namespace sqlsim::tds
