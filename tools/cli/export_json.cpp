#include "export_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace zarn::cli {
namespace {

// A small writer: keys and values are appended in order, commas where they belong.
class Json {
 public:
  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }

  Json& Key(const char* key) {
    Separate();
    out_ += '"';
    out_ += key;
    out_ += "\":";
    afterKey_ = true;
    return *this;
  }
  void String(const QString& s) {
    Separate();
    out_ += '"';
    for (char c : s.toUtf8()) {
      const auto u = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        out_ += '\\';
        out_ += c;
      } else if (u < 0x20) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", u);
        out_ += buf;
      } else {
        out_ += c;
      }
    }
    out_ += '"';
  }
  void Int(long long v) {
    Separate();
    out_ += QByteArray::number(v);
  }
  void Bool(bool v) {
    Separate();
    out_ += v ? "true" : "false";
  }
  void Null() {
    Separate();
    out_ += "null";
  }
  template <typename F>
  void Float(F v) {
    if (!std::isfinite(v)) return Null();
    Separate();
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out_.append(buf, r.ptr - buf);
  }
  QByteArray Take() {
    out_ += '\n';
    return std::move(out_);
  }

 private:
  void Open(char c) {
    Separate();
    out_ += c;
    first_ = true;
  }
  void Close(char c) {
    out_ += c;
    first_ = false;
  }
  void Separate() {
    if (afterKey_) {
      afterKey_ = false;
      return;
    }
    if (!first_) out_ += ',';
    first_ = false;
  }

  QByteArray out_;
  bool first_ = true;
  bool afterKey_ = false;
};

void ProcessFields(Json& j, uint32_t index, const ProcessView& p) {
  j.Key("index").Int(index);
  j.Key("number").Int(p.number());
  j.Key("year").Int(p.year());
  j.Key("month").Int(p.month());
  j.Key("day").Int(p.day());
  j.Key("hour").Int(p.hour());
  j.Key("minute").Int(p.minute());
  j.Key("second").Int(p.second());
  j.Key("material").String(p.materialName());
  j.Key("object").String(p.objectName());
  j.Key("strengthMPa").Float(p.strength());
  j.Key("variationTenths").Int(p.variation());
  j.Key("rangeTenths").Int(p.range());
  j.Key("blowCount").Int(p.blowCount());
  j.Key("blowMask").Int(p.blowMask());
  j.Key("a2").Float(p.a2());
  j.Key("a1").Float(p.a1());
  j.Key("a0").Float(p.a0());
  j.Key("Kf").Float(p.Kf());
  j.Key("timeStep").Float(p.timeStep());
}

}  // namespace

QByteArray SeriesJson(const QString& file, const uint8_t* paramBlock, const uint8_t* dataImage,
                      uint32_t count) {
  Json j;
  j.BeginObject();
  j.Key("file").String(file);
  j.Key("processCount").Int(count);
  j.Key("processes").BeginArray();
  ProcessRecordBuffer copy;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* record = ProcessInPlace(paramBlock, dataImage, count, i);
    if (!record) {
      CopyProcess(paramBlock, dataImage, count, i, copy.data());
      record = copy.data();
    }
    j.BeginObject();
    ProcessFields(j, i, ProcessView(record));
    j.EndObject();
  }
  j.EndArray();
  j.EndObject();
  return j.Take();
}

QByteArray ImpactsJson(const QString& file, uint32_t index, const ProcessView& p) {
  Json j;
  j.BeginObject();
  j.Key("file").String(file);
  j.Key("process").BeginObject();
  ProcessFields(j, index, p);
  j.Key("blows").BeginArray();
  for (int b = 0; b < p.shownBlowCount(); ++b) {
    const BlowView w = p.blow(b);
    j.BeginObject();
    j.Key("blow").Int(b + 1);
    j.Key("direction").Int(w.direction());
    j.Key("impactAmplitude").Float(w.impactAmplitude());
    j.Key("recoilAmplitude").Float(w.recoilAmplitude());
    j.Key("impactDuration").Float(w.impactDuration());
    j.Key("recoilDuration").Float(w.recoilDuration());
    j.Key("impactEnergy").Float(w.impactEnergy());
    j.Key("recoilEnergy").Float(w.recoilEnergy());
    j.Key("waveStart").Float(w.waveStart());
    j.Key("strengthMPa").Float(w.strength());
    j.Key("stepMode").Int(w.stepMode());
    j.Key("samples").BeginArray();
    int v = w.firstSample();
    j.Int(v);
    for (int k = 0; k < kWaveSamples - 1; ++k) {
      v += w.delta(k);
      j.Int(v);
    }
    j.EndArray();
    j.EndObject();
  }
  j.EndArray();
  j.EndObject();
  j.EndObject();
  return j.Take();
}

QByteArray CoefficientsJson(const QString& file, uint32_t index, const ProcessView& p) {
  Json j;
  j.BeginObject();
  j.Key("file").String(file);
  j.Key("index").Int(index);
  j.Key("a2").Float(p.a2());
  j.Key("a1").Float(p.a1());
  j.Key("a0").Float(p.a0());
  j.Key("Kf").Float(p.Kf());
  j.EndObject();
  return j.Take();
}

QByteArray ChartJson(const QString& file, uint32_t index, int blow,
                     const std::vector<BlowCurve>& curves) {
  Json j;
  j.BeginObject();
  j.Key("file").String(file);
  j.Key("index").Int(index);
  if (blow > 0) {
    j.Key("blow").Int(blow);
  } else {
    j.Key("blow").Null();
  }
  j.Key("curves").BeginArray();
  for (size_t k = 0; k < curves.size(); ++k) {
    j.BeginObject();
    j.Key("series").Int(qint64(k + 1));
    j.Key("blow").Int(curves[k].blow + 1);
    j.Key("gray").Bool(curves[k].gray);
    j.Key("points").BeginArray();
    for (const ChartPoint& pt : curves[k].points) {
      j.BeginArray();
      j.Float(pt.x);
      j.Float(pt.y);
      j.EndArray();
    }
    j.EndArray();
    j.EndObject();
  }
  j.EndArray();
  j.EndObject();
  return j.Take();
}

}  // namespace zarn::cli
