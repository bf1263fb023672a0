#include "export_json.h"

namespace zarn::cli {

void ProcessFields(Json& j, const ProcessView& p) {
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
    j.Key("index").Int(i);
    ProcessFields(j, ProcessView(record));
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
  j.Key("index").Int(index);
  ProcessFields(j, p);
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
