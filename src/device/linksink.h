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
};

}  // namespace zarn
