#include "WakeSignal.h"

#include <cstdint>
#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

namespace sqlsim::tds {

WakeSignal::WakeSignal() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (fd_ < 0)
        throw std::runtime_error("cannot create an eventfd");
}

WakeSignal::~WakeSignal() {
    ::close(fd_);
}

void WakeSignal::raise() {
    const std::uint64_t one = 1;
    // Only fails when the counter would overflow, and then it is readable anyway.
    [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

void WakeSignal::clear() {
    std::uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd_, &value, sizeof value); // non-blocking: nothing to read is fine
}

} // namespace sqlsim::tds
