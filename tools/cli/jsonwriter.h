#pragma once
// The JSON that zarn26-cli prints: a small writer whose keys and values are appended in
// order, commas where they belong. Texts are written as UTF-8 with quotes, backslashes
// and control characters escaped; a float that is not a finite number is written as
// null, any other in its shortest exact form.

#include <QByteArray>
#include <QString>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace zarn::cli {

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

}  // namespace zarn::cli
