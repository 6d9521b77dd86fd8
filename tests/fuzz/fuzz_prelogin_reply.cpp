// TDS framing and the PRELOGIN answer, as the certificate probe reads them from a server.
#include "TdsPrelogin.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray buffer(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype before = buffer.size();
    TdsPrelogin::Message message;
    switch (TdsPrelogin::takeMessage(buffer, message)) {
    case TdsPrelogin::Take::Complete:
        if (buffer.size() >= before || message.payload.size() > TdsPrelogin::kLongestMessage)
            __builtin_trap();
        (void)TdsPrelogin::encryptionOf(message.payload);
        break;
    case TdsPrelogin::Take::NeedMore:
    case TdsPrelogin::Take::Malformed:
        if (buffer.size() != before)
            __builtin_trap(); // nothing taken unless a whole message was
        break;
    }
    (void)TdsPrelogin::encryptionOf(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
