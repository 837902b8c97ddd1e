#pragma once

// Newline-delimited frames on the hook socket: cutting lines out of a connection's receive buffer,
// decoding requests and encoding records.

#include "requests/hook_request.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <utility>
#include <variant>

namespace tandrel {

// Why no request could be taken from a buffer.
struct FrameDecodeError {
  enum class Kind {
    oversized,   // a line, or an unterminated buffer, is longer than the limit; see byteCount
    malformed,   // a complete line is not a valid HookRequest; see message
    incomplete,  // no line feed yet and still within the limit: wait for more bytes
  };

  Kind kind = Kind::incomplete;
  std::int64_t byteCount = 0;  // oversized only: the measured length
  QString message;             // malformed only: "HookRequest: " and the decoder's description

  static FrameDecodeError oversized(std::int64_t byteCount) {
    return {Kind::oversized, byteCount, {}};
  }
  static FrameDecodeError malformed(QString message) {
    return {Kind::malformed, 0, std::move(message)};
  }
  static FrameDecodeError incomplete() { return {Kind::incomplete, 0, {}}; }

  // A readable form for logs and the test switches.
  QString description() const;

  friend bool operator==(const FrameDecodeError&, const FrameDecodeError&) = default;
};

// A value or a FrameDecodeError.
template <typename T>
class [[nodiscard]] FrameResult {
 public:
  FrameResult(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit
  FrameResult(FrameDecodeError error)  // NOLINT: implicit
      : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  const FrameDecodeError& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, FrameDecodeError> state_;
};

// Stateless; all operations are static.
class SocketFrameCodec {
 public:
  // Longest line accepted, in bytes, not counting its line feed.
  static constexpr std::int64_t kMaxLineBytes = 262144;

  // Takes the first complete line off the front of `buffer` and returns it without its line feed.
  // A line longer than the limit is `oversized` (buffer untouched); no line feed yet is
  // `incomplete` while the buffer is within the limit, else `oversized` with the buffer's length.
  static FrameResult<QByteArray> consumeLine(QByteArray& buffer);

  // consumeLine, then decodes the line as a HookRequest. consumeLine's errors pass through; a line
  // that is not a valid request is `malformed` ("HookRequest: " + the decoder's description).
  static FrameResult<HookRequest> decodeRequest(QByteArray& buffer);

  // The record as canonical JSON followed by exactly one line feed (line feeds inside strings are
  // escaped, so the frame holds no other).
  static QByteArray encode(const HookRequest& request);
  static QByteArray encode(const HookReply& reply);
};

}  // namespace tandrel
