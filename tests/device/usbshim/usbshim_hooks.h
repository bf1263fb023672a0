#pragma once
// What the test-only libusb shim offers the tests besides the libusb 0.1 calls. The
// tests look these up with dlsym in the same loaded library the transport uses.
//
// The simulated bus is described by the file named in ZARN_USBSHIM_BUS, read again by
// every usb_find_busses and usb_find_devices. One line per device, '#' starts a comment:
//
//   BUS DEVICE VENDOR PRODUCT PATH [open=ERRNO] [config=RESULT] [claim=RESULT]
//   001 002    03eb   0101    /run/user/1000/zarn26/{E6EF...}/sim0  config=-16
//
// BUS and DEVICE are the bus folder and device file names, VENDOR and PRODUCT are hex,
// PATH is a zarn26-sim device folder (its Pipe00 and Pipe01 carry the bulk transfers)
// or "-" for a device without one. A device with a folder is on the bus while its two
// pipes exist; new pipes (a re-plugged simulator) make it a new device. open= makes
// usb_open fail with that errno; config= and claim= are the results of
// usb_set_configuration and usb_claim_interface.

#ifdef __cplusplus
extern "C" {
#endif

struct ZarnShimStats {
  int inits;               // usb_init calls
  int opens;               // successful usb_open calls
  int closes;              // usb_close calls on live handles
  int liveHandles;         // handles open now
  int lastConfiguration;   // argument of the last usb_set_configuration
  int lastInterface;       // argument of the last usb_claim_interface
  int lastWriteEndpoint;   // endpoint and time-out of the last bulk write
  int lastWriteTimeout;
  int lastReadEndpoint;    // endpoint and time-out of the last bulk read
  int lastReadTimeout;
  char lastOpenedPath[1024];  // PATH of the device last opened
};

typedef void (*ZarnShimStatsFn)(struct ZarnShimStats*);
typedef void (*ZarnShimResetFn)(void);

// Fills `stats`.
void zarnshim_stats(struct ZarnShimStats* stats);
// Forgets the counters and the last bus snapshot (live handles stay valid).
void zarnshim_reset(void);

#ifdef __cplusplus
}
#endif
