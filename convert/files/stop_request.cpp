#include "stop_request.h"

namespace vantrelix {

volatile std::sig_atomic_t stopSignal = 0;

}  // namespace vantrelix
