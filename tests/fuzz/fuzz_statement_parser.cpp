// The simulator's statement parser, fed arbitrary batches (bytes read as UTF-16, as on the wire).
#include "Parser.h"
#include "SqlError.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString batch(reinterpret_cast<const QChar*>(data), qsizetype(size / 2));
    try {
        sqlsim::Parser::parseBatch(batch);
    } catch (const sqlsim::SqlError&) {
        // A syntax error is an answer, not a fault.
    }
    return 0;
}
