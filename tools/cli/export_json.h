#pragma once
// The JSON form of `zarn26-cli export --format json`: the records with their raw
// values. Schema (every object also carries "file", the data file's name):
//
//   series          {"file", "processCount", "processes": [PROCESS, ...]}
//   impacts N       {"file", "process": PROCESS + "blows": [BLOW, ...]}
//   coefficients N  {"file", "index", "a2", "a1", "a0", "Kf"}
//   chart N [--blow B]
//                   {"file", "index", "blow": B or null,
//                    "curves": [{"series": 1.., "blow": 1.., "gray": bool,
//                                "points": [[x, y], ...]}, ...]}
//
//   PROCESS = {"index" (0-based), "number", "year", "month", "day", "hour", "minute",
//              "second", "material", "object", "strengthMPa", "variationTenths",
//              "rangeTenths", "blowCount", "blowMask", "a2", "a1", "a0", "Kf", "timeStep"}
//   BLOW    = {"blow" (1-based), "direction", "impactAmplitude", "recoilAmplitude",
//              "impactDuration", "recoilDuration", "impactEnergy", "recoilEnergy",
//              "waveStart", "strengthMPa", "stepMode",
//              "samples": [the 511 running values of the waveform, unscaled]}
//
// Stored floats are written in their shortest exact form (25.3, not 25.299999237); the
// chart points are the drawn values (times summed in single precision, amplitudes in
// volts). A value that is not a finite number is written as null. Integers are as
// stored; "year" is the two-digit year of the instrument.

#include <QByteArray>
#include <QString>
#include <vector>

#include "data/presenters.h"
#include "jsonwriter.h"

namespace zarn::cli {

// The PROCESS fields of a record after "index": its header's raw values, "number" to
// "timeStep" (the archive's list prints them too).
void ProcessFields(Json& j, const ProcessView& p);
// The processes 0..count - 1 of the images given by their ParamBlock and DataImage.
QByteArray SeriesJson(const QString& file, const uint8_t* paramBlock, const uint8_t* dataImage,
                      uint32_t count);
QByteArray ImpactsJson(const QString& file, uint32_t index, const ProcessView& process);
QByteArray CoefficientsJson(const QString& file, uint32_t index, const ProcessView& process);
QByteArray ChartJson(const QString& file, uint32_t index, int blow,
                     const std::vector<BlowCurve>& curves);

}  // namespace zarn::cli
