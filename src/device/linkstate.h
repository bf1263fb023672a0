#pragma once
// The bytes the exchange loop shares with the main thread. Each is an atomic byte;
// nothing else guards them (the images have their own lock, see common/images.h).

#include <atomic>
#include <cstdint>

namespace zarn {

// The exchange loop's state; other parts of the program write requests into it.
enum LinkStates : uint8_t {
  kLinkConnect = 0,
  kLinkReadVersion = 1,
  kLinkReadParameters = 2,
  kLinkReadData = 3,
  kLinkIdle = 4,
  kLinkWriteMaterials = 5,
  kLinkReadObjects = 6,
  kLinkWriteObjects = 7,
  kLinkCloseAndRefresh = 8,
  kLinkReadMaterials = 9,
  kLinkChooseTransport = 255,
};

// The USB access method in use.
enum TransportKinds : uint8_t {
  kTransportPipe = 1,     // PipeTransport has opened
  kTransportLibusb = 2,   // the libusb library is loaded with its entry points
  kTransportNone = 3,     // neither
};

extern std::atomic<uint8_t> LinkState;        // starts at 255
extern std::atomic<uint8_t> TransportKind;    // starts at 3, written only by the loop
extern std::atomic<bool> DataReadComplete;    // a whole DataImage has been read

}  // namespace zarn
