#pragma once

#include <QColor>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

// The fixed catalogue of the agent tools the app knows, and the functions that turn the free-form
// `source` word of an event into a canonical tool identifier, a display name, a default model and
// an accent colour.

namespace tandrel {

class AppLocator;

// One row of the catalogue.
struct AIToolCatalogItem {
  QString product;
  QString id;  // canonical identifier
  QString name;  // display name
  QString surface;
  QString installTarget;
  QStringList commandNames;  // executables to look for on PATH
  // Applications to look for, in order of preference. A leading "~/" stands for the home folder.
  // The names are the ones the tools ship under ("/Applications/Cursor.app"); on this platform an
  // application counts as installed when a desktop entry of that name exists (see AppLocator).
  QStringList appPaths;
  std::optional<QString> configPath;  // may begin with "~/"
  QString integration;
  QStringList capabilities;
  int priority = 0;  // 0 first
  QColor color;
  QString detail;
};

// The 25 rows, in catalogue order. Built once on first use and never changed.
const std::vector<AIToolCatalogItem>& aiToolCatalog();

// The 25 identifiers in catalogue order (the known-identifier list).
const QStringList& phaseOneToolIDs();

// The row whose id is exactly `id`, or nullptr.
const AIToolCatalogItem* catalogItem(const QString& id);

// The row a source word names: the first row whose id equals canonicalToolID(source) or whose
// name equals the source ignoring case; nullptr when none does. toolColor uses the same rule.
const AIToolCatalogItem* catalogItemForSource(const QString& source);

// Source word -> canonical identifier ("Claude_Code" -> "claude-code", "Some Tool" -> "some-tool").
QString canonicalToolID(const QString& source);

// Source word -> display name ("claude_code" -> "Claude Code", "" -> "Agent").
QString toolDisplayName(const QString& source);

// Canonical identifier -> default model label ("Auto" for identifiers without one).
QString defaultModel(const QString& id);

// Source word or identifier -> accent colour; a translucent white for unknown tools.
QColor toolColor(const QString& source);

// True when the source names the Pi agent.
bool isPiToolSource(const QString& source);

// A predicate on a path, for the existence checks that tests replace.
using PathPredicate = std::function<bool(const QString&)>;

// The path of the first executable file named `name` in the directories of PATH (or of the
// fallback search path when PATH is not set), or nothing.
std::optional<QString> executableInPath(const QString& name);
std::optional<QString> executableInPath(const QString& name, const AppLocator& locator);

// Candidate application paths ("~/" expanded) -> the first that is installed, else the first
// candidate; nothing for an empty list.
std::optional<QString> preferredExistingAppPath(const QStringList& candidates);
std::optional<QString> preferredExistingAppPath(const QStringList& candidates,
                                                const PathPredicate& appExists);

// The identifier of the application at `path`: on this platform the id of its desktop entry
// ("code" for "/Applications/Visual Studio Code.app" when code.desktop is named so), or nothing.
std::optional<QString> bundleIdentifierAt(const QString& path);
std::optional<QString> bundleIdentifierAt(const QString& path, const AppLocator& locator);

// Source word or identifier -> the application whose icon serves as the tool's logo, or nothing.
// A single candidate is returned without checking that it is installed; the caller checks.
std::optional<QString> softwareLogoAppPath(const QString& tool);
std::optional<QString> softwareLogoAppPath(const QString& tool, const PathPredicate& appExists);

}  // namespace tandrel
