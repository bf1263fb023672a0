#pragma once
// What the exchange loop shows: every visible change is a notification handed to a
// sink. The main window's sink applies each one on the main thread and returns when it
// has been applied; zarn26-cli's sink prints progress; tests record them.
//
// Texts come as phrases (what they say, not the words of one language), so that what
// stays on the screen follows a language switch.

#include <QString>
#include <cstdint>

#include "common/images.h"
#include "common/texts.h"
#include "device/linkstate.h"

namespace zarn {

// The link lamp's colours, as TColor values.
enum class LampColour : uint32_t {
  Black = 0x000000,         // looking for the instrument
  Lime = 0x00FF00,          // connected, transferring
  Red = 0x0000FF,           // a transfer failed (a TColor is 0x00BBGGRR)
  ButtonFace = 0x8000000F,  // a transfer has finished; the lamp's colour at start
};

// "the data memory: the reply stopped short".
Phrase LinkFailurePhrase(const LinkFailure& failure);
// The same in the given language (0 Russian).
QString LinkFailureText(const LinkFailure& failure, int language);

// How a request ended, in the words its requester shows: "Written to the instrument",
// "The instrument is not connected", "Link Error: the objects block: the reply stopped
// short"... A write that failed or timed out under way adds that the instrument may hold
// part of the block.
Phrase RequestOutcomePhrase(const RequestResult& result, bool write);

// A read of the instrument that has ended: the images as the read left them (one
// snapshot, taken on the loop's thread when it published the read) and the
// instrument's version text. Whoever keeps completed reads (the window's tables, an
// archive) takes them from here.
struct CompletedRead {
  ImagesView images;
  QString version;
};

class LinkSink {
 public:
  virtual ~LinkSink() = default;
  virtual void StatusText(int panel, const Phrase& text) = 0;  // panel 0 or 1
  virtual void LinkLamp(LampColour colour) = 0;
  // The lamp's present colour (the loop holds red for 20 ms before changing it).
  virtual LampColour CurrentLamp() = 0;
  virtual void ProgressBegin() = 0;
  virtual void ProgressRange(int maximum) = 0;
  virtual void ProgressStep(int position) = 0;
  virtual void ProgressEnd() = 0;
  virtual void ProgressHide() = 0;
  // A read has ended (a whole memory, or an instrument without processes): refresh the
  // tables from its snapshot.
  virtual void RefreshWithChartHidden(const CompletedRead& read) = 0;
  // A transfer failed (the loop then shows "Link Error" with the failure's text).
  virtual void TransferFailed(const LinkFailure&) {}
};

}  // namespace zarn
