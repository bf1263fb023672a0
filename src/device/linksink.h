#pragma once
// What the exchange loop shows: every visible change is a notification handed to a
// sink. The main window's sink applies each one on the main thread and returns when it
// has been applied; zarn26-cli's sink prints progress; tests record them.

#include <QString>
#include <cstdint>

namespace zarn {

// The link lamp's colours, as TColor values.
enum class LampColour : uint32_t {
  Black = 0x000000,         // looking for the instrument
  Lime = 0x00FF00,          // connected, transferring
  Red = 0x0000FF,           // a transfer failed (a TColor is 0x00BBGGRR)
  ButtonFace = 0x8000000F,  // a transfer has finished; the lamp's colour at start
};

// What a failed transfer could not move, and why.
enum class LinkBlock : uint8_t { None, Version, Parameters, Materials, Data, Objects,
                                 MaterialsWrite, ObjectsWrite };
enum class LinkFault : uint8_t {
  None,
  NoTransport,   // no transport to use
  Command,       // the command could not be sent
  BlockWrite,    // a written block could not be sent whole
  NoReply,       // the reply's length did not come
  ReplyCut,      // the reply stopped before its announced length (short or late)
  ReplyTooLong,  // the reply announced more than its block holds
};
struct LinkFailure {
  LinkBlock block = LinkBlock::None;
  LinkFault fault = LinkFault::None;
  uint32_t announced = 0;  // ReplyTooLong: the announced length and the block's size
  uint32_t capacity = 0;
  bool operator==(const LinkFailure&) const = default;
};
// "the data memory: the reply stopped short", in the given language (0 Russian).
QString LinkFailureText(const LinkFailure& failure, int language);

class LinkSink {
 public:
  virtual ~LinkSink() = default;
  virtual void StatusText(int panel, const QString& text) = 0;  // panel 0 or 1
  virtual void LinkLamp(LampColour colour) = 0;
  // The lamp's present colour (the loop holds red for 20 ms before changing it).
  virtual LampColour CurrentLamp() = 0;
  virtual void ProgressBegin() = 0;
  virtual void ProgressRange(int maximum) = 0;
  virtual void ProgressStep(int position) = 0;
  virtual void ProgressEnd() = 0;
  virtual void ProgressHide() = 0;
  // The images hold a new whole read (or none): refresh the tables from them.
  virtual void RefreshWithChartHidden() = 0;
  // A transfer failed (the loop then shows "Link Error" with the failure's text).
  virtual void TransferFailed(const LinkFailure&) {}
};

}  // namespace zarn
