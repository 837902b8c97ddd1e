// Codex's config.toml as the hook manager reads and edits it: the outline, the planned edit, the
// notify chain, the feature flag and the trust tables. A planned edit is valid TOML, runs our
// notify bridge from the decoded notify array, turns the hooks feature on, keeps every other
// setting as toml++ reads it, and is planned again to itself.
#include "fuzz_target.h"

#include "hooks/codex_config.h"
#include "hooks/toml_check.h"
#include "hooks/toml_outline.h"

#include <toml++/toml.h>

#include <optional>
#include <string_view>

namespace {

const QString kNotifyPath = QStringLiteral("/home/me/.tandrel/bin/tandrel-codex-notify");
const QString kFeatures = QStringLiteral("features");

// The settings as toml++ reads them, without what the edit may change: `notify`, `features.hooks`
// and `features.codex_hooks` (and a `features` table that is left empty).
std::optional<toml::table> userSettings(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  try {
    toml::table table = toml::parse(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
    table.erase("notify");
    if (toml::table* features = table["features"].as_table()) {
      features->erase("hooks");
      features->erase("codex_hooks");
      if (features->empty()) {
        table.erase("features");
      }
    }
    return table;
  } catch (const toml::parse_error&) {
    return std::nullopt;
  }
}

}  // namespace

TANDREL_FUZZ_TARGET(codex_config) {
  using namespace tandrel;
  const QString config = QString::fromUtf8(fuzz::bytes(data, size));
  const bool outlined = outlineToml(config).ok();
  const auto installed = codexNotifyInstalled(config);
  (void)codexNotifyChain(config);
  (void)tomlFeatureFlagEnabled(config, kFeatures, QStringLiteral("hooks"));
  (void)codexHooksTrusted(config, QStringLiteral("/home/me/.codex/hooks.json"), QJsonObject(),
                          {{QStringLiteral("Stop"), 0, 0}, {QStringLiteral("PermissionRequest"), 1, 0}});

  const auto planned = plannedCodexConfigText(config, kNotifyPath);
  if (!planned) {
    FUZZ_CHECK(planned.error().contains(QLatin1String("nothing was changed")), planned.error());
    return 0;
  }
  FUZZ_CHECK(outlined && installed.ok(), config);
  const auto valid = checkToml(planned.value());
  FUZZ_CHECK(valid.ok(), (valid ? QString() : valid.error()) + u'\n' + planned.value());
  const auto ours = codexNotifyInstalled(planned.value());
  FUZZ_CHECK(ours.ok() && ours.value(), planned.value());
  FUZZ_CHECK(tomlFeatureFlagEnabled(planned.value(), kFeatures, QStringLiteral("hooks")),
             planned.value());
  FUZZ_CHECK(!codexNotifyChain(planned.value()).has_value(), planned.value());
  // nan is not equal to itself, in toml++ as anywhere.
  if (!config.contains(QLatin1String("nan"))) {
    const auto before = userSettings(config);
    FUZZ_CHECK(before && before == userSettings(planned.value()), planned.value());
  }
  const auto again = plannedCodexConfigText(planned.value(), kNotifyPath);
  FUZZ_CHECK(again.ok() && again.value() == planned.value(), planned.value());
  return 0;
}
