#pragma once

#include "platform/app_locator.h"

#include <QSet>

namespace tandrel {

// A locator whose world the test writes.
class FakeAppLocator final : public AppLocator {
 public:
  QSet<QString> files;        // paths that exist
  QSet<QString> executables;  // paths that are executable files (they exist as well)
  std::optional<QString> path;
  std::vector<DesktopEntry> entries;

  bool fileExists(const QString& p) const override {
    return files.contains(p) || executables.contains(p);
  }
  bool isExecutableFile(const QString& p) const override { return executables.contains(p); }
  std::optional<QString> pathVariable() const override { return path; }
  std::vector<DesktopEntry> desktopEntries() const override { return entries; }
};

}  // namespace tandrel
