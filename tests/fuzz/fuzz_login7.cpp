// The simulator's LOGIN7 reader, fed arbitrary login records.
#include "tds/Login7.h"
#include "tds/WireBuffer.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray payload(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        sqlsim::tds::parseLogin7(payload);
    } catch (const sqlsim::tds::ProtocolError&) {
        // A malformed record closes that connection, nothing more.
    }
    return 0;
}
