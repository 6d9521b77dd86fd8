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

// Reads the parameters up to the end of the payload, or up to the first of a type this reader
// does not know (that one and the rest stay unread). Throws ProtocolError on a malformed stream.
std::vector<RpcParameter> readRpcParameters(ByteReader& r);

// The statement with each declared parameter (declarations as sp_executesql takes them,
// "@a int, @b nvarchar(10)") replaced by its value as a literal: the values come by position,
// or by name when they carry one. Parameters without a value stay as they are written.
QString bindParameters(const QString& statement, const QString& declarations, const std::vector<RpcParameter>& values);

} // namespace sqlsim::tds
