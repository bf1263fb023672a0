#include "server_protocol.h"

#include <algorithm>
#include <cstring>

#include "common/bytes.h"

namespace zarn::sim {

namespace {

void Append(QByteArray& out, const uint8_t* bytes, size_t count) {
  out.append(reinterpret_cast<const char*>(bytes), qsizetype(count));
}

}  // namespace

InstrumentProtocol::InstrumentProtocol(DeviceImages& images, ProtocolSettings settings)
    : images_(images), settings_(std::move(settings)) {}

void InstrumentProtocol::Reset() {
  stage_ = Stage::Command;
  pending_.clear();
  blockCommand_ = 0;
  blockLength_ = 0;
}

void InstrumentProtocol::PutLength(QByteArray& out, uint8_t command, uint32_t length,
                                   bool first) const {
  uint8_t field[4];
  PutU32(field, first && command == settings_.garbageLengthCommand ? kAbsurdLength : length);
  Append(out, field, 4);
}

QByteArray InstrumentProtocol::Answer(uint8_t command) const {
  QByteArray out;
  switch (command) {
    case 1: {
      PutLength(out, command, settings_.versionLength, true);
      QByteArray text = settings_.versionText.left(qsizetype(settings_.versionLength));
      text.append(qsizetype(settings_.versionLength) - text.size(), '\0');
      out.append(text);
      break;
    }
    case 2:
      out.reserve(8 + kParamBlockSize + kMaterialsBlockSize);
      PutLength(out, command, kParamBlockSize, true);
      Append(out, images_.ParamBlock.data(), kParamBlockSize);
      PutLength(out, command, kMaterialsBlockSize, false);
      Append(out, images_.MaterialsBlock.data(), kMaterialsBlockSize);
      break;
    case 4: {
      const uint32_t length = settings_.dataLength;
      const size_t fromImage = std::min<size_t>(length, kDataImageSize);
      out.reserve(qsizetype(4 + size_t(length)));
      PutLength(out, command, length, true);
      Append(out, images_.DataImage.data(), fromImage);
      out.append(qsizetype(length - fromImage), '\0');
      break;
    }
    case 6:
      PutLength(out, command, kObjectsBlockSize, true);
      Append(out, images_.ObjectsBlock.data(), kObjectsBlockSize);
      break;
    default:
      break;
  }
  return out;
}

void InstrumentProtocol::Feed(const uint8_t* bytes, size_t count, std::vector<Reply>& replies) {
  pending_.append(reinterpret_cast<const char*>(bytes), qsizetype(count));
  const auto* data = reinterpret_cast<const uint8_t*>(pending_.constData());
  const size_t size = size_t(pending_.size());
  size_t at = 0;
  for (;;) {
    if (stage_ == Stage::Command) {
      if (size - at < 2) break;
      const uint8_t code = data[at];
      if (code < 1 || code > 7 || uint8_t(code ^ data[at + 1]) != 0xFF) {
        ++at;  // not a command: look one byte further
        ++skipped_;
        continue;
      }
      at += 2;
      if (code == 5 || code == 7) {
        blockCommand_ = code;
        stage_ = Stage::BlockLength;
        replies.push_back({code, {}, false});
      } else if (code != 3) {  // 03 FC has no meaning: ignored
        replies.push_back({code, Answer(code)});
      }
    } else if (stage_ == Stage::BlockLength) {
      if (size - at < 4) break;
      blockLength_ = GetU32(data + at);
      at += 4;
      stage_ = blockLength_ > kMaxWrittenBlock ? Stage::Command : Stage::Block;
    } else {
      if (size - at < blockLength_) break;
      uint8_t* block = blockCommand_ == 5 ? images_.MaterialsBlock.data()
                                          : images_.ObjectsBlock.data();
      const size_t capacity = blockCommand_ == 5 ? kMaterialsBlockSize : kObjectsBlockSize;
      std::memcpy(block, data + at, std::min<size_t>(blockLength_, capacity));
      at += blockLength_;
      replies.push_back({blockCommand_, {}, true});
      stage_ = Stage::Command;
    }
  }
  pending_.remove(0, qsizetype(at));
}

}  // namespace zarn::sim
