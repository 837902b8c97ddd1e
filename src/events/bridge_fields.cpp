#include "events/bridge_fields.h"

#include "events/bridge_values.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tandrel {
namespace {

const QHash<QString, int>& keyIndex() {
  static const QHash<QString, int> index = [] {
    QHash<QString, int> result;
    result.reserve(kBridgeKeyCount);
    for (int i = 0; i < kBridgeKeyCount; ++i) {
      const std::string_view name = kBridgeKeyNames[i];
      result.insert(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())), i);
    }
    return result;
  }();
  return index;
}

// The known keys by their UTF-8 bytes: open addressing on an FNV-1a hash, for the JSON-text path
// that never builds a QString for a key.
class ByteKeyIndex {
 public:
  ByteKeyIndex() {
    slots_.fill(-1);
    for (int i = 0; i < kBridgeKeyCount; ++i) {
      std::size_t slot = hash(kBridgeKeyNames[i]) & kMask;
      while (slots_[slot] >= 0) {
        slot = (slot + 1) & kMask;
      }
      slots_[slot] = static_cast<std::int16_t>(i);
    }
  }

  int find(std::string_view key) const {
    std::size_t slot = hash(key) & kMask;
    while (slots_[slot] >= 0) {
      if (kBridgeKeyNames[static_cast<std::size_t>(slots_[slot])] == key) {
        return slots_[slot];
      }
      slot = (slot + 1) & kMask;
    }
    return -1;
  }

 private:
  static constexpr std::size_t kSize = 1024;
  static constexpr std::size_t kMask = kSize - 1;
  static_assert(kBridgeKeyCount * 2 < kSize);

  // The length and the first and last eight bytes: enough to tell the known keys apart cheaply.
  static std::size_t hash(std::string_view key) {
    const std::size_t size = key.size();
    std::uint64_t head = 0;
    std::uint64_t tail = 0;
    const std::size_t part = std::min<std::size_t>(size, 8);
    std::memcpy(&head, key.data(), part);
    std::memcpy(&tail, key.data() + size - part, part);
    const std::uint64_t h = (head * 0x9E3779B97F4A7C15ull) ^ (tail * 0xC2B2AE3D27D4EB4Full) ^ size;
    return static_cast<std::size_t>(h ^ (h >> 29) ^ (h >> 47));
  }

  std::array<std::int16_t, kSize> slots_;
};

const ByteKeyIndex& byteKeyIndex() {
  static const ByteKeyIndex index;
  return index;
}

// Whether a finite double truncates to a qint64 without loss (as QJsonValue::toInteger decides).
std::optional<qint64> exactInt64(double d) {
  if (!std::isfinite(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0) {
    return std::nullopt;
  }
  const auto n = static_cast<qint64>(d);
  return static_cast<double>(n) == d ? std::optional<qint64>(n) : std::nullopt;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A reader of JSON text that accepts only what it knows QJsonDocument reads the same way, and
// answers "unsure" (false) for everything else, including every malformed text: the caller then
// leaves the line to QJsonDocument, which decides. Strings: UTF-8 as Qt validates it (no overlong
// forms, no encoded surrogates, nothing beyond U+10FFFF; raw control characters are kept as Qt
// keeps them), the standard escapes and \uXXXX (each unit kept as it is, as Qt does). Numbers:
// strict JSON; integers of up to 18 digits exactly, everything else as a double that must be
// finite and normal (Qt refuses overflows; underflows are left to it).
class JsonText {
 public:
  JsonText(const char* begin, const char* end) : p_(begin), end_(end) {}

  void skipSpace() {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) {
      ++p_;
    }
  }
  bool atEnd() const { return p_ == end_; }
  // The byte at the cursor; only when not at the end.
  char peek() const { return *p_; }
  bool take(char c) {
    skipSpace();
    if (p_ < end_ && *p_ == c) {
      ++p_;
      return true;
    }
    return false;
  }

  // The members of an object whose "{" was taken; `member(key, *this)` reads each value.
  template <typename Member>
  bool members(int depth, Member&& member) {
    if (depth > kMaxDepth) {
      return false;
    }
    if (take('}')) {
      return true;
    }
    do {
      std::string_view key;
      if (!take('"') || !rawKey(&key) || !take(':')) {
        return false;
      }
      skipSpace();
      if (!member(key)) {
        return false;
      }
    } while (take(','));
    return take('}');
  }

  // The elements of an array whose "[" was taken; `element()` reads each.
  template <typename Element>
  bool elements(int depth, Element&& element) {
    if (depth > kMaxDepth) {
      return false;
    }
    if (take(']')) {
      return true;
    }
    do {
      skipSpace();
      if (!element()) {
        return false;
      }
    } while (take(','));
    return take(']');
  }

  // One value at the cursor, built into `out` or, without `out`, only checked. Objects and arrays
  // are checked and kept as their text.
  bool value(BridgeValue* out, int depth) {
    if (p_ >= end_) {
      return false;
    }
    switch (*p_) {
      case '"': {
        ++p_;
        if (!out) {
          return string(nullptr);
        }
        QString text;
        if (!string(&text)) {
          return false;
        }
        *out = BridgeValue::string(std::move(text));
        return true;
      }
      case '{': {
        const char* start = p_++;
        if (!members(depth + 1, [this, depth](std::string_view) { return value(nullptr, depth + 1); })) {
          return false;
        }
        if (out) {
          *out = BridgeValue::objectText(QByteArrayView(start, p_ - start));
        }
        return true;
      }
      case '[': {
        const char* start = p_++;
        if (!elements(depth + 1, [this, depth] { return value(nullptr, depth + 1); })) {
          return false;
        }
        if (out) {
          *out = BridgeValue::arrayText(QByteArrayView(start, p_ - start));
        }
        return true;
      }
      case 't': return literal("true") && (!out || (*out = BridgeValue::boolean(true), true));
      case 'f': return literal("false") && (!out || (*out = BridgeValue::boolean(false), true));
      case 'n': return literal("null") && (!out || (*out = BridgeValue::null(), true));
      default: return number(out);
    }
  }

 private:
  static constexpr int kMaxDepth = 64;

  bool literal(std::string_view word) {
    if (std::string_view(p_, static_cast<std::size_t>(end_ - p_)).substr(0, word.size()) != word) {
      return false;
    }
    p_ += word.size();
    return true;
  }

  bool number(BridgeValue* out) {
    const char* start = p_;
    if (*p_ == '-') {
      ++p_;
    }
    const char* digits = p_;
    if (p_ < end_ && *p_ == '0') {
      ++p_;
    } else if (p_ < end_ && *p_ >= '1' && *p_ <= '9') {
      while (p_ < end_ && isDigit(*p_)) {
        ++p_;
      }
    } else {
      return false;
    }
    const char* integerEnd = p_;
    bool plain = true;
    if (p_ < end_ && *p_ == '.') {
      plain = false;
      ++p_;
      if (p_ >= end_ || !isDigit(*p_)) {
        return false;
      }
      while (p_ < end_ && isDigit(*p_)) {
        ++p_;
      }
    }
    if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
      plain = false;
      ++p_;
      if (p_ < end_ && (*p_ == '+' || *p_ == '-')) {
        ++p_;
      }
      if (p_ >= end_ || !isDigit(*p_)) {
        return false;
      }
      while (p_ < end_ && isDigit(*p_)) {
        ++p_;
      }
    }
    if (plain) {
      if (integerEnd - digits > 18) {
        return false;
      }
      qint64 n = 0;
      for (const char* d = digits; d < integerEnd; ++d) {
        n = n * 10 + (*d - '0');
      }
      if (out) {
        *out = BridgeValue::integer(start == digits ? n : -n);
      }
      return true;
    }
    double d = 0;
    const auto [end, error] = std::from_chars(start, p_, d, std::chars_format::general);
    if (error != std::errc() || end != p_ || !std::isfinite(d)) {
      return false;
    }
    if (std::fabs(d) < DBL_MIN) {
      // Zero only when every digit of the mantissa is; anything else underflowed.
      for (const char* c = digits; c < p_ && *c != 'e' && *c != 'E'; ++c) {
        if (*c >= '1' && *c <= '9') {
          return false;
        }
      }
    }
    if (out) {
      *out = BridgeValue::real(d);
    }
    return true;
  }

  // A key whose opening quote was taken: its raw bytes, which must need no unescaping.
  bool rawKey(std::string_view* key) {
    const char* start = p_;
    bool ascii = true;
    while (p_ < end_ && *p_ != '"') {
      if (*p_ == '\\') {
        return false;
      }
      ascii = ascii && static_cast<unsigned char>(*p_) < 0x80;
      ++p_;
    }
    if (p_ >= end_ || (!ascii && !decode(start, p_, nullptr))) {
      return false;
    }
    *key = std::string_view(start, static_cast<std::size_t>(p_ - start));
    ++p_;
    return true;
  }

  // A string whose opening quote was taken, decoded into `out` when given.
  bool string(QString* out) {
    const char* start = p_;
    bool plainAscii = true;
#ifdef __SSE2__
    // Sixteen bytes at a time up to the first quote, backslash or non-ASCII byte.
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    while (end_ - p_ >= 16) {
      const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p_));
      const int special = _mm_movemask_epi8(_mm_or_si128(
          _mm_or_si128(_mm_cmpeq_epi8(chunk, quote), _mm_cmpeq_epi8(chunk, backslash)), chunk));
      if (special != 0) {
        p_ += __builtin_ctz(static_cast<unsigned>(special));
        break;
      }
      p_ += 16;
    }
#endif
    while (p_ < end_ && *p_ != '"') {
      if (*p_ == '\\') {
        plainAscii = false;
        if (++p_ >= end_) {
          return false;
        }
      } else if (static_cast<unsigned char>(*p_) >= 0x80) {
        plainAscii = false;
      }
      ++p_;
    }
    if (p_ >= end_) {
      return false;
    }
    const char* stop = p_++;
    if (plainAscii) {
      if (out) {
        *out = QString::fromLatin1(start, stop - start);
      }
      return true;
    }
    if (!out) {
      return decode(start, stop, nullptr);
    }
    QString decoded(stop - start, Qt::Uninitialized);
    qsizetype length = 0;
    if (!decode(start, stop, &decoded, &length)) {
      return false;
    }
    decoded.truncate(length);
    *out = std::move(decoded);
    return true;
  }

  // Checks (and, given `out`, decodes) the bytes of a string between its quotes. `out` must have
  // room for one UTF-16 unit per byte, which always suffices.
  static bool decode(const char* p, const char* end, QString* out, qsizetype* length = nullptr) {
    char16_t* write = out ? reinterpret_cast<char16_t*>(out->data()) : nullptr;
    char16_t* const first = write;
    const auto put = [&write](char32_t c) {
      if (!write) {
        return;
      }
      if (c >= 0x10000) {
        *write++ = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        *write++ = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      } else {
        *write++ = static_cast<char16_t>(c);
      }
    };
    while (p < end) {
      const auto b = static_cast<unsigned char>(*p);
      if (b == '\\') {
        if (end - p < 2) {
          return false;
        }
        const char escaped = p[1];
        p += 2;
        switch (escaped) {
          case '"': put(u'"'); break;
          case '\\': put(u'\\'); break;
          case '/': put(u'/'); break;
          case 'b': put(u'\b'); break;
          case 'f': put(u'\f'); break;
          case 'n': put(u'\n'); break;
          case 'r': put(u'\r'); break;
          case 't': put(u'\t'); break;
          case 'u': {
            if (end - p < 4) {
              return false;
            }
            char32_t unit = 0;
            for (int i = 0; i < 4; ++i) {
              const int digit = hexDigit(p[i]);
              if (digit < 0) {
                return false;
              }
              unit = unit * 16 + static_cast<char32_t>(digit);
            }
            p += 4;
            if (write) {
              *write++ = static_cast<char16_t>(unit);  // a surrogate stays a lone unit, as in Qt
            }
            break;
          }
          default: return false;
        }
        continue;
      }
      if (b < 0x80) {
        put(b);
        ++p;
        continue;
      }
      // UTF-8 as RFC 3629 defines it.
      int extra = 0;
      char32_t c = 0;
      unsigned char low = 0x80;
      unsigned char high = 0xBF;
      if (b >= 0xC2 && b <= 0xDF) {
        extra = 1;
        c = b & 0x1F;
      } else if (b >= 0xE0 && b <= 0xEF) {
        extra = 2;
        c = b & 0x0F;
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF;
      } else if (b >= 0xF0 && b <= 0xF4) {
        extra = 3;
        c = b & 0x07;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
      } else {
        return false;
      }
      if (end - p <= extra) {
        return false;
      }
      for (int i = 1; i <= extra; ++i) {
        const auto next = static_cast<unsigned char>(p[i]);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) {
          return false;
        }
        c = (c << 6) | (next & 0x3F);
      }
      put(c);
      p += extra + 1;
    }
    if (length) {
      *length = write - first;
    }
    return true;
  }

  const char* p_;
  const char* end_;
};

}  // namespace

class BridgeFieldsBuilder {
 public:
  static bool read(BridgeFields& fields, JsonText& json) {
    const ByteKeyIndex& index = byteKeyIndex();
    return json.members(1, [&fields, &json, &index](std::string_view key) {
      fields.empty_ = false;
      const int known = index.find(key);
      if (known < 0) {
        return json.value(nullptr, 1);
      }
      BridgeValue value;
      if (!json.value(&value, 1)) {
        return false;
      }
      fields.set(known, std::move(value));
      return true;
    });
  }
};

BridgeValue BridgeValue::fromJson(const QJsonValue& value) {
  switch (value.type()) {
    case QJsonValue::Null: return null();
    case QJsonValue::Bool: return boolean(value.toBool());
    case QJsonValue::Double: {
      const double d = value.toDouble();
      if (std::isfinite(d)) {
        // Qt keeps integral numbers as 64-bit integers, exact beyond 2^53.
        const qint64 asZero = value.toInteger(0);
        if (asZero != 0 || value.toInteger(1) == 0) {
          return integer(asZero);
        }
      }
      return real(d);
    }
    case QJsonValue::String: return string(value.toString());
    case QJsonValue::Array:
    case QJsonValue::Object: {
      BridgeValue result;
      result.type_ = value.isObject() ? Type::object : Type::array;
      result.parsed_ = value;
      return result;
    }
    case QJsonValue::Undefined: break;
  }
  return {};
}

BridgeValue BridgeValue::null() {
  BridgeValue result;
  result.type_ = Type::null;
  return result;
}

BridgeValue BridgeValue::boolean(bool value) {
  BridgeValue result;
  result.type_ = Type::boolean;
  result.number_.boolean = value;
  return result;
}

BridgeValue BridgeValue::integer(qint64 value) {
  BridgeValue result;
  result.type_ = Type::integer;
  result.number_.integer = value;
  return result;
}

BridgeValue BridgeValue::real(double value) {
  BridgeValue result;
  result.type_ = Type::real;
  result.number_.real = value;
  return result;
}

BridgeValue BridgeValue::string(QString text) {
  BridgeValue result;
  result.type_ = Type::string;
  result.text_ = std::move(text);
  return result;
}

BridgeValue BridgeValue::objectText(QByteArrayView json) {
  BridgeValue result;
  result.type_ = Type::object;
  result.json_ = json;
  return result;
}

BridgeValue BridgeValue::arrayText(QByteArrayView json) {
  BridgeValue result;
  result.type_ = Type::array;
  result.json_ = json;
  return result;
}

double BridgeValue::toDouble() const {
  switch (type_) {
    case Type::integer: return static_cast<double>(number_.integer);
    case Type::real: return number_.real;
    default: return 0.0;
  }
}

std::optional<qint64> BridgeValue::integral() const {
  switch (type_) {
    case Type::integer: return number_.integer;
    case Type::real: return exactInt64(number_.real);
    default: return std::nullopt;
  }
}

BridgeFields BridgeValue::fields() const {
  if (type_ != Type::object) {
    return BridgeFields();
  }
  if (parsed_) {
    return BridgeFields(parsed_->toObject());
  }
  // The text was checked when the enclosing line was read.
  if (std::optional<BridgeFields> fields = BridgeFields::fromJsonText(json_)) {
    return std::move(*fields);
  }
  return BridgeFields();
}

QJsonObject BridgeValue::toObject() const {
  if (type_ != Type::object) {
    return {};
  }
  if (parsed_) {
    return parsed_->toObject();
  }
  return QJsonDocument::fromJson(QByteArray::fromRawData(json_.data(), json_.size())).object();
}

QList<BridgeValue> BridgeValue::elements() const {
  QList<BridgeValue> result;
  if (type_ != Type::array) {
    return result;
  }
  if (parsed_) {
    const QJsonArray array = parsed_->toArray();
    result.reserve(array.size());
    for (const QJsonValue element : array) {
      result.append(fromJson(element));
    }
    return result;
  }
  JsonText json(json_.data(), json_.data() + json_.size());
  json.take('[');
  json.elements(1, [&json, &result] {
    BridgeValue element;
    if (!json.value(&element, 1)) {
      return false;
    }
    result.append(std::move(element));
    return true;
  });
  return result;
}

BridgeFields::BridgeFields() { slots_.fill(-1); }

BridgeFields::BridgeFields(const QJsonObject& object) : BridgeFields() {
  empty_ = object.isEmpty();
  const QHash<QString, int>& index = keyIndex();
  for (auto it = object.constBegin(), end = object.constEnd(); it != end; ++it) {
    const auto found = index.constFind(it.key());
    if (found != index.constEnd()) {
      set(found.value(), BridgeValue::fromJson(it.value()));
    }
  }
}

std::optional<BridgeFields> BridgeFields::fromJsonText(QByteArrayView json, bool* malformed) {
  JsonText text(json.data(), json.data() + json.size());
  const auto refuse = [malformed](bool certain) {
    if (malformed) {
      *malformed = certain;
    }
    return std::nullopt;
  };
  if (!text.take('{')) {
    // Anything but an object, unless it is a byte-order mark, which QJsonDocument may skip.
    return refuse(text.atEnd() || static_cast<unsigned char>(text.peek()) != 0xEF);
  }
  std::optional<BridgeFields> fields(std::in_place);
  if (!BridgeFieldsBuilder::read(*fields, text)) {
    // Whatever stopped the reader, a text that ended first cannot close its object.
    return refuse(text.atEnd());
  }
  text.skipSpace();
  if (!text.atEnd()) {
    return refuse(true);  // bytes after the object
  }
  if (malformed) {
    *malformed = false;
  }
  return fields;
}

void BridgeFields::set(int key, BridgeValue value) {
  std::int16_t& slot = slots_[static_cast<std::size_t>(key)];
  if (slot >= 0) {
    values_[slot] = std::move(value);  // a repeated key counts with its last value
    return;
  }
  slot = static_cast<std::int16_t>(values_.size());
  values_.append(std::move(value));
}

const BridgeValue& BridgeFields::value(int key) const {
  static const BridgeValue undefined;
  const std::int16_t slot = slots_[static_cast<std::size_t>(key)];
  return slot < 0 ? undefined : values_[slot];
}

std::optional<QString> firstString(const BridgeFields& fields, std::initializer_list<int> keys) {
  for (const int key : keys) {
    if (!fields.contains(key)) {
      continue;
    }
    if (auto text = stringValue(fields.value(key))) {
      return text;
    }
  }
  return std::nullopt;
}

}  // namespace tandrel
