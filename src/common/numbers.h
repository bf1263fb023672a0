#pragma once
// Number texts as the program shows and stores them: always with the
// decimal comma, rounded on the exact binary value at the last shown digit with ties
// away from zero, independent of the C locale.

#include <QString>
#include <QStringView>
#include <optional>

namespace zarn {

enum class NumberPattern {
  Integer,         // "0"          12.5 -> 13
  TwoDigits,       // "00"         7 -> 07
  OptionalTenths,  // "0.#"        12.0 -> 12, 12.34 -> 12,3
  Tenths,          // "0.0"        12 -> 12,0
  Hundredths,      // "0.00"
  Thousandths,     // "0.000"
  Scientific,      // "0.000E+00"  0.00123 -> 1,230E-03
};

// Appends the text of `value` in `pattern` to `out`. Negative values get a leading
// '-'; infinities and NaN give "INF", "-INF" and "NAN"; fixed patterns switch to a
// general 15-digit form from 1E18 on.
void AppendNumber(QString& out, double value, NumberPattern pattern);
QString FormatNumber(double value, NumberPattern pattern);

// Parses a typed or stored number: optional blanks, an optional sign, digits, an
// optional comma with digits, an optional exponent (E or e, optional sign, digits),
// optional blanks. A point is not a decimal separator. Empty, malformed or
// out-of-range texts give nullopt.
std::optional<double> ParseNumber(QStringView text);

}  // namespace zarn
