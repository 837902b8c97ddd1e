#pragma once

#include <QString>

namespace tandrel {

// The operating system's text for an errno value ("No such file or directory").
QString errnoText(int errorNumber);

// A failed operating-system call: the errno value and the name of the call.
struct POSIXError {
  int errorNumber = 0;
  QString op;

  // "POSIX <op> failed: errno=<n> (<errno text>)".
  QString description() const;

  friend bool operator==(const POSIXError&, const POSIXError&) = default;
};

}  // namespace tandrel
