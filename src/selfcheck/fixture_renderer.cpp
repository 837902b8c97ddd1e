#include "selfcheck/fixture_renderer.h"

#include "catalog/paths.h"
#include "island/inbox_layout.h"
#include "island/tandrel_view.h"
#include "selfcheck/fixture_builders.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <functional>

namespace tandrel {
namespace {

// A notched built-in display whose camera housing reaches 33 down.
constexpr qreal kFixtureNotchInset = 33;

}  // namespace

const std::vector<FixtureRow>& fixtureRows() {
  static const std::vector<FixtureRow> rows = {
      {"collapsed-macbook.png", collapsedOverlaySize(DisplayKind::macBookPhysical, 0, kFixtureNotchInset),
       OverlayMode::collapsed, DisplayKind::macBookPhysical},
      {"collapsed-external.png", {island::kCollapsedWidth, island::kCollapsedMinimumHeight}, OverlayMode::collapsed},
      {"expanded.png", {island::kExpandedWidth, kExpandedHeightForMessages}, OverlayMode::expanded},
      {"settings-general.png", island::kSettingsPanelSize, OverlayMode::settings, DisplayKind::externalVirtual,
       SettingsTab::general},
      {"settings-pets.png", island::kSettingsPanelSize, OverlayMode::settings, DisplayKind::externalVirtual,
       SettingsTab::pets},
      {"settings-sound.png", island::kSettingsPanelSize, OverlayMode::settings, DisplayKind::externalVirtual,
       SettingsTab::sound},
      {"settings-about.png", island::kSettingsPanelSize, OverlayMode::settings, DisplayKind::externalVirtual,
       SettingsTab::about},
      {"settings-ai-tools.png", island::kSettingsPanelSize, OverlayMode::settings, DisplayKind::externalVirtual,
       SettingsTab::aiTools, std::nullopt, fixtureToolHealth()},
      {"settings-pets-live-preview-floating-peak.png", island::kSettingsPanelSize, OverlayMode::settings,
       DisplayKind::externalVirtual, SettingsTab::pets, FixtureLivePreview{PetPreviewMode::floating, 0.75}},
      {"settings-pets-live-preview-roaming-left.png", island::kSettingsPanelSize, OverlayMode::settings,
       DisplayKind::externalVirtual, SettingsTab::pets, FixtureLivePreview{PetPreviewMode::roaming, 0.0}},
      {"settings-pets-live-preview-roaming-right.png", island::kSettingsPanelSize, OverlayMode::settings,
       DisplayKind::externalVirtual, SettingsTab::pets, FixtureLivePreview{PetPreviewMode::roaming, 1.6}},
      {"settings-pets-live-preview-roaming-mid.png", island::kSettingsPanelSize, OverlayMode::settings,
       DisplayKind::externalVirtual, SettingsTab::pets, FixtureLivePreview{PetPreviewMode::roaming, 2.4}},
      // The cards themselves: lines too long for a card, and a question's choice card open.
      {"expanded-cards.png", {island::kExpandedWidth, kExpandedHeightForMessages}, OverlayMode::expanded,
       DisplayKind::externalVirtual, std::nullopt, std::nullopt, std::nullopt, fixtureCardRecords()},
      {"expanded-choice-open.png", {island::kExpandedWidth, kExpandedHeightForMessages}, OverlayMode::expanded,
       DisplayKind::externalVirtual, std::nullopt, std::nullopt, std::nullopt, fixtureCardRecords(),
       FixtureOpenChoice{kFixtureChoiceEventID, QStringLiteral("Run the smoke tests first, staging only")}},
      // Claude's usage meters with a little, some and nearly all of the five-hour limit used.
      {"expanded-usage-0.5.png", {island::kExpandedWidth, kExpandedHeightForMessages}, OverlayMode::expanded,
       DisplayKind::externalVirtual, std::nullopt, std::nullopt, fixtureToolHealth(), fixtureUsageRecords(0.5)},
      {"expanded-usage-42.png", {island::kExpandedWidth, kExpandedHeightForMessages}, OverlayMode::expanded,
       DisplayKind::externalVirtual, std::nullopt, std::nullopt, fixtureToolHealth(), fixtureUsageRecords(42)},
      {"expanded-usage-99.png", {island::kExpandedWidth, kExpandedHeightForMessages}, OverlayMode::expanded,
       DisplayKind::externalVirtual, std::nullopt, std::nullopt, fixtureToolHealth(), fixtureUsageRecords(99)},
      {"expanded-usage-codex.png", {island::kExpandedWidth, kExpandedHeightForMessages}, OverlayMode::expanded,
       DisplayKind::externalVirtual, std::nullopt, std::nullopt, fixtureToolHealth(), fixtureCodexUsageRecords()},
  };
  return rows;
}

EventStoreOptions fixtureStoreOptions(const QString& eventFile) {
  EventStoreOptions options;
  options.eventFile = eventFile;
  options.auditFile = QFileInfo(eventFile).absoluteDir().filePath(QStringLiteral("audit.jsonl"));
  return options;
}

namespace {

// Runs `draw` with the store the row is drawn over: the shared one, or one of its own that reads
// the row's records from a scratch folder and shows nothing else.
template <typename T>
Result<T> withRowStore(const FixtureRow& row, EventStore& shared, const std::function<Result<T>(EventStore&)>& draw) {
  if (row.records.empty()) {
    return draw(shared);
  }
  const QTemporaryDir scratch;
  if (!scratch.isValid()) {
    return Result<T>::failure(QStringLiteral("Could not create a scratch folder: ") + scratch.errorString());
  }
  const QString eventFile = scratch.filePath(QStringLiteral("events.jsonl"));
  if (auto written = writeJSONLines(row.records, eventFile); !written) {
    return Result<T>::failure(written.error());
  }
  EventStoreOptions options = fixtureStoreOptions(eventFile);
  options.testEnvironment = true;
  EventStore own(options);
  own.reload(false);
  return draw(own);
}

QSizeF frameOver(const FixtureRow& row, EventStore& store) {
  if (row.frame.height() != kExpandedHeightForMessages) {
    return row.frame;
  }
  store.ensureMessageCache();
  const std::vector<IslandMessage>& messages = store.allMessages();
  const std::optional<QString> open =
      row.openChoice ? std::optional<QString>(QString::fromUtf8(row.openChoice->messageID)) : std::nullopt;
  return {row.frame.width(),
          expandedOverlayHeight(static_cast<int>(messages.size()), inbox_layout::openChoiceExtent(messages, open))};
}

Result<QImage> renderOver(const FixtureRow& row, EventStore& store, qreal devicePixelRatio) {
  const QSizeF frame = frameOver(row, store);
  // A widget has whole pixels: the view takes the frame rounded up, as the image does.
  const QSize viewSize(static_cast<int>(std::ceil(frame.width())), static_cast<int>(std::ceil(frame.height())));
  TandrelView view(viewSize, store);
  view.setMode(row.mode);
  view.setDisplayKind(row.displayKind);
  if (row.settingsTab) {
    view.selectSettingsTab(*row.settingsTab);
  }
  if (row.toolHealth) {
    view.toolHealth = *row.toolHealth;
  }
  view.resize(viewSize);
  if (row.livePreview) {
    view.previewMode = row.livePreview->mode;
    view.livePreviewPhase = row.livePreview->phase;
    view.isLivePreviewFixtureMode = true;
    view.scrollPetsTabToLivePreviewCanvas();
  }
  if (row.openChoice) {
    view.setExpandedChoiceMessageForTests(QString::fromUtf8(row.openChoice->messageID));
    view.activeChoiceNote = row.openChoice->note;
  }

  view.renderingFixtures = true;
  QImage image = view.renderImage(devicePixelRatio);
  if (image.isNull()) {
    return Result<QImage>::failure(QStringLiteral("Could not create bitmap"));
  }
  return image;
}

}  // namespace

QSizeF fixtureFrame(const FixtureRow& row, EventStore& store) {
  const Result<QSizeF> frame =
      withRowStore<QSizeF>(row, store, [&row](EventStore& over) { return Result<QSizeF>(frameOver(row, over)); });
  return frame ? *frame : row.frame;
}

Result<QImage> renderFixtureImage(const FixtureRow& row, EventStore& store, qreal devicePixelRatio) {
  return withRowStore<QImage>(
      row, store, [&row, devicePixelRatio](EventStore& over) { return renderOver(row, over, devicePixelRatio); });
}

Result<void> renderFixtureImages(const QString& directory, EventStore& store, const std::vector<FixtureRow>& rows,
                                 qreal devicePixelRatio) {
  for (const FixtureRow& row : rows) {
    const Result<QImage> image = renderFixtureImage(row, store, devicePixelRatio);
    if (!image) {
      return Result<void>::failure(image.error());
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image->save(&buffer, "PNG") || png.isEmpty()) {
      return Result<void>::failure(QStringLiteral("Could not encode PNG"));
    }
    if (auto written = writeFileAtomically(png, QDir(directory).filePath(QString::fromUtf8(row.fileName)));
        !written) {
      return written;
    }
  }
  return {};
}

int renderFixtures(const QString& directory) {
  // A blank name would make the store fall back to the user's own bridge file, which the fixture
  // records would then replace: refuse it like a missing one.
  if (!nonEmptyString(qEnvironmentVariable("TANDREL_EVENT_FILE"))) {
    printLine(stderr, QStringLiteral("TANDREL_EVENT_FILE is required for fixture rendering"));
    return 2;
  }
  const QString folder = QDir(directory).absolutePath();
  const QString eventFile = eventFileURL();
  auto fail = [](const QString& reason) {
    printLine(stderr, QStringLiteral("Fixture rendering failed: ") + reason);
    return 1;
  };
  if (auto written = writeJSONLines(fixtureRecords(), eventFile); !written) {
    return fail(written.error());
  }
  EventStore store(fixtureStoreOptions(eventFile));
  store.reload(false);
  if (auto rendered = renderFixtureImages(folder, store, fixtureRows()); !rendered) {
    return fail(rendered.error());
  }
  printLine(stdout, QStringLiteral("Rendered fixtures to ") + folder);
  return 0;
}

}  // namespace tandrel
