#include "device/linkstate.h"

namespace zarn {

std::atomic<LinkStates> LinkState{LinkStates::ChooseTransport};
std::atomic<TransportKinds> TransportKind{TransportKinds::None};
std::atomic<bool> DataReadComplete{false};
std::atomic<LinkAccess> InstrumentAccess{LinkAccess::Closed};

}  // namespace zarn
