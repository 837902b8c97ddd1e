#pragma once

// The small floating window in which the user types the answer to an agent that waits for text,
// and the limit every typed answer passes through before it is sent to an agent.

#include <QString>

namespace tandrel {

class TextInputPanel {
 public:
  // Longest answer handed to an agent, in UTF-8 bytes.
  static constexpr int kMaxInputBytes = 8192;

  struct Truncation {
    QString text;
    bool truncated = false;

    friend bool operator==(const Truncation&, const Truncation&) = default;
  };

  // The longest prefix of `text` of at most kMaxInputBytes UTF-8 bytes that ends on a character
  // boundary, and whether anything was cut.
  static Truncation truncate(const QString& text);
};

}  // namespace tandrel
