#include "numbers.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace zarn {
namespace {

// Exponent of the lowest set bit of a finite non-zero double: v = odd * 2^result.
int OddExponent(double v) {
  int e = 0;
  const double f = std::frexp(v, &e);  // v = f * 2^e, 0.5 <= |f| < 1
  auto m = static_cast<uint64_t>(std::ldexp(std::fabs(f), 53));
  return e - 53 + std::countr_zero(m);
}

// Whether a positive finite v lies exactly halfway between two multiples of 10^-d.
bool IsTieAtDecimals(double v, int d) {
  if (d >= 0) return OddExponent(v) == -(d + 1);
  const int k = -d;  // rounding to a multiple of 10^k
  if (k > 22) return false;  // 10^k/2 would need more than 53 mantissa bits
  const double step = std::pow(10.0, k);  // exact for k <= 22
  return std::fmod(v, step) == step / 2;
}

void AppendAscii(QString& out, const char* begin, const char* end) {
  for (const char* p = begin; p != end; ++p) out.append(QChar(*p == '.' ? ',' : *p));
}

// General format with 15 significant digits: 1,5E20, 1E-5.
void AppendGeneral(QString& out, double a) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, 14);
  std::string s(buf, r.ptr);
  const auto ePos = s.find('e');
  std::string mant = s.substr(0, ePos);
  const int exp = std::stoi(s.substr(ePos + 1));
  if (mant.find('.') != std::string::npos) {
    while (mant.back() == '0') mant.pop_back();
    if (mant.back() == '.') mant.pop_back();
  }
  AppendAscii(out, mant.data(), mant.data() + mant.size());
  const std::string e = "E" + std::to_string(exp);
  AppendAscii(out, e.data(), e.data() + e.size());
}

void AppendFixed(QString& out, double a, int decimals, int minIntDigits, bool dropZeroDecimal) {
  if (IsTieAtDecimals(a, decimals)) a = std::nextafter(a, INFINITY);
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::fixed, decimals);
  char* end = r.ptr;
  if (dropZeroDecimal && decimals == 1 && end - buf >= 2 && end[-1] == '0' && end[-2] == '.')
    end -= 2;
  const char* dot = static_cast<const char*>(std::memchr(buf, '.', end - buf));
  const long intDigits = (dot ? dot : end) - buf;
  for (long i = intDigits; i < minIntDigits; ++i) out.append(QChar('0'));
  AppendAscii(out, buf, end);
}

void AppendScientific(QString& out, double a) {
  if (a == 0) {
    out.append(QStringLiteral("0,000E+00"));
    return;
  }
  char buf[64];
  auto shortest = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific);
  const char* e = static_cast<const char*>(std::memchr(buf, 'e', shortest.ptr - buf));
  int decade = 0;
  std::from_chars(e + (e[1] == '+' ? 2 : 1), shortest.ptr, decade);
  if (IsTieAtDecimals(a, 3 - decade)) a = std::nextafter(a, INFINITY);
  auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, 3);
  for (char* p = buf; p != r.ptr; ++p) {
    if (*p == 'e') *p = 'E';
  }
  AppendAscii(out, buf, r.ptr);
}

}  // namespace

void AppendNumber(QString& out, double value, NumberPattern pattern) {
  if (std::isnan(value)) {
    out.append(QStringLiteral("NAN"));
    return;
  }
  if (value < 0) out.append(QChar('-'));
  const double a = std::fabs(value);
  if (std::isinf(a)) {
    out.append(QStringLiteral("INF"));
    return;
  }
  if (pattern == NumberPattern::Scientific) {
    AppendScientific(out, a);
    return;
  }
  if (a >= 1e18) {
    AppendGeneral(out, a);
    return;
  }
  switch (pattern) {
    case NumberPattern::Integer: AppendFixed(out, a, 0, 1, false); break;
    case NumberPattern::TwoDigits: AppendFixed(out, a, 0, 2, false); break;
    case NumberPattern::OptionalTenths: AppendFixed(out, a, 1, 1, true); break;
    case NumberPattern::Tenths: AppendFixed(out, a, 1, 1, false); break;
    case NumberPattern::Hundredths: AppendFixed(out, a, 2, 1, false); break;
    case NumberPattern::Thousandths: AppendFixed(out, a, 3, 1, false); break;
    case NumberPattern::Scientific: break;
  }
}

QString FormatNumber(double value, NumberPattern pattern) {
  QString out;
  AppendNumber(out, value, pattern);
  return out;
}

std::optional<double> ParseNumber(QStringView text) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  auto at = [&](qsizetype k) { return k < n ? text[k].unicode() : char16_t(0); };
  auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
  while (at(i) == u' ' || at(i) == u'\t') ++i;
  std::string ascii;
  if (at(i) == u'+' || at(i) == u'-') ascii += char(text[i++].unicode());
  int digits = 0;
  while (isDigit(at(i))) { ascii += char(at(i++)); ++digits; }
  if (at(i) == u',') {
    ascii += '.';
    ++i;
    while (isDigit(at(i))) { ascii += char(at(i++)); ++digits; }
  }
  if (digits == 0) return std::nullopt;
  if (at(i) == u'E' || at(i) == u'e') {
    ascii += 'e';
    ++i;
    if (at(i) == u'+' || at(i) == u'-') ascii += char(text[i++].unicode());
    int expDigits = 0;
    while (isDigit(at(i))) { ascii += char(at(i++)); ++expDigits; }
    if (expDigits == 0) return std::nullopt;
  }
  while (at(i) == u' ' || at(i) == u'\t') ++i;
  if (i != n) return std::nullopt;
  const char* begin = ascii.data();
  if (*begin == '+') ++begin;  // from_chars takes no plus sign
  double value = 0;
  auto r = std::from_chars(begin, ascii.data() + ascii.size(), value);
  if (r.ec != std::errc() || r.ptr != ascii.data() + ascii.size()) return std::nullopt;
  return value;
}

}  // namespace zarn
