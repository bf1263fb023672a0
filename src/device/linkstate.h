#pragma once
// The bytes the exchange loop shares with the main thread. Each is an atomic byte;
// nothing else guards them (the images have their own lock, see common/images.h).

#include <atomic>
#include <cstdint>

namespace zarn {

// The exchange loop's state; other parts of the program write requests into it. A
// value outside the list takes the loop's error path.
enum class LinkStates : uint8_t {
  Connect = 0,
  ReadVersion = 1,
  ReadParameters = 2,
  ReadData = 3,
  Idle = 4,
  WriteMaterials = 5,
  ReadObjects = 6,
  WriteObjects = 7,
  CloseAndRefresh = 8,
  ReadMaterials = 9,
  ChooseTransport = 255,
};

// The USB access method in use.
enum class TransportKinds : uint8_t {
  Pipe = 1,     // PipeTransport has opened
  Libusb = 2,   // the libusb library is loaded with its entry points
  None = 3,     // neither
};

// Whether this program holds the instrument. Written by the loop only.
enum class LinkAccess : uint8_t {
  Closed = 0,  // no link open (looking, or idle between transfers)
  Open = 1,    // the link is open and held by this program
  InUse = 2,   // the instrument is there but another program holds it
};

// How a transfer request written into LinkState ended for its requester.
enum class RequestOutcome {
  Done,         // the loop finished the transfer and is idle again
  NotAccepted,  // the loop was not idle: nothing was requested
  Withdrawn,    // not finished within the waits: the request was taken back
  Overtaken,    // someone else changed the state meanwhile (a data file opened, or a
                // failure without a whole read behind it sent the loop to connect)
};

extern std::atomic<LinkStates> LinkState;         // starts at ChooseTransport
extern std::atomic<TransportKinds> TransportKind; // starts at None, written only by the loop
extern std::atomic<bool> DataReadComplete;        // a whole DataImage has been read
extern std::atomic<LinkAccess> InstrumentAccess;  // starts at Closed

}  // namespace zarn
