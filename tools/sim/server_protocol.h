#pragma once
// The instrument's side of the device protocol, without any I/O: bytes from the
// computer go in, replies come out. The server moves the bytes and adds the faults.
//
//   01 FE  version text        reply: 4-byte length, then the text (NUL-padded)
//   02 FD  parameters          two replies: length + ParamBlock, length + MaterialsBlock
//   04 FB  measurement memory  reply: length + DataImage (zeros past its end)
//   05 FA  write materials     then the computer sends a 4-byte length and the block
//   06 F9  read objects        reply: length + ObjectsBlock
//   07 F8  write objects       then the computer sends a 4-byte length and the block
//
// Every number is little-endian. A command is a code and its complement; bytes that do
// not start one are skipped one at a time until a command lines up again, so garbage
// never stops the instrument. A written block replaces the stored one only when all of
// it has arrived.

#include <QByteArray>
#include <cstdint>
#include <vector>

#include "common/images.h"

namespace zarn::sim {

inline constexpr uint32_t kAbsurdLength = 0xFFFFFFF0u;
// A written block longer than this is not a block: its command is dropped.
inline constexpr uint32_t kMaxWrittenBlock = 65536;

struct ProtocolSettings {
  QByteArray versionText;                   // code page 1251
  uint32_t versionLength = 0;               // announced; the text is cut or NUL-padded
  uint32_t dataLength = kDataImageSize;     // announced and sent
  int garbageLengthCommand = 0;             // this command's (first) length is absurd
};

struct Reply {
  uint8_t command = 0;  // 1..7
  QByteArray bytes;     // empty for the write commands
  bool stored = false;  // a write command's block has been stored (its second Reply)
};

class InstrumentProtocol {
 public:
  InstrumentProtocol(DeviceImages& images, ProtocolSettings settings);

  // Takes the computer's bytes; every command completed by them adds one Reply. A
  // write command adds one when it arrives and one when its block has been stored.
  void Feed(const uint8_t* bytes, size_t count, std::vector<Reply>& replies);
  // A new connection: a half-received command or block is forgotten.
  void Reset();

  // Number of bytes skipped as garbage so far.
  uint64_t SkippedBytes() const { return skipped_; }

 private:
  enum class Stage { Command, BlockLength, Block };

  QByteArray Answer(uint8_t command) const;
  void PutLength(QByteArray& out, uint8_t command, uint32_t length, bool first) const;

  DeviceImages& images_;
  ProtocolSettings settings_;
  Stage stage_ = Stage::Command;
  QByteArray pending_;         // bytes of the part now being received
  uint8_t blockCommand_ = 0;   // 5 or 7 while a block is received
  uint32_t blockLength_ = 0;
  uint64_t skipped_ = 0;
};

}  // namespace zarn::sim
