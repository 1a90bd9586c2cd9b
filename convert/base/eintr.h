#pragma once

#include <cerrno>

namespace vantrelix {

// Repeats a system call that a signal interrupted (-1 with EINTR), running
// `beforeRepeat` first each time; gives the first other result.
template <typename Call, typename BeforeRepeat>
auto RetryOnEintr(Call&& call, BeforeRepeat&& beforeRepeat) {
  for (;;) {
    const auto result = call();
    if (result >= 0 || errno != EINTR) return result;
    beforeRepeat();
  }
}

template <typename Call>
auto RetryOnEintr(Call&& call) {
  return RetryOnEintr(call, [] {});
}

}  // namespace vantrelix
