#include "device/linkstate.h"

namespace zarn {

std::atomic<uint8_t> LinkState{kLinkChooseTransport};
std::atomic<uint8_t> TransportKind{kTransportNone};
std::atomic<bool> DataReadComplete{false};

}  // namespace zarn
