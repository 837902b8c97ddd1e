#pragma once

// The fixture renderer: fixed states of the island and the settings panel, each drawn by a fresh
// TandrelView into an image and saved as a PNG, for looking at the interface without a display
// (TANDREL_RENDER_FIXTURES=<folder> TANDREL_EVENT_FILE=<file> tandrel).
//
// Adding an image is one row in fixtureRows() (fixture_renderer.cpp).

#include "base/result.h"
#include "events/event_store.h"
#include "hooks/hook_manager.h"
#include "ui/island_geometry.h"
#include "ui/overlay_mode.h"
#include "ui/overlay_settings.h"

#include <QImage>
#include <QJsonObject>
#include <QSizeF>
#include <QString>

#include <optional>
#include <vector>

namespace tandrel {

// The Pets tab's live preview as a row shows it: the preview mode and the preview clock in
// seconds.
struct FixtureLivePreview {
  PetPreviewMode mode = PetPreviewMode::bubble;
  double phase = 0;
};

// An open choice card: the event id of its message and the note typed into it, focused.
struct FixtureOpenChoice {
  const char* messageID;
  QString note;
};

// A frame height that stands for the expanded island's height for the store's messages.
inline constexpr qreal kExpandedHeightForMessages = -1;

// One image: its file name, the view's frame in logical pixels, the mode and display kind, and on
// settings rows the tab and optionally the Pets tab's live preview.
struct FixtureRow {
  const char* fileName;
  QSizeF frame;
  OverlayMode mode;
  DisplayKind displayKind = DisplayKind::externalVirtual;
  std::optional<SettingsTab> settingsTab = std::nullopt;
  std::optional<FixtureLivePreview> livePreview = std::nullopt;
  // The AI Tools tab's rows instead of the hook manager's.
  std::optional<std::vector<ToolHealth>> toolHealth = std::nullopt;
  // The row's own bridge records, read by a store of its own (in a scratch folder removed after
  // the row) instead of the shared one; none: the shared store.
  std::vector<QJsonObject> records = {};
  std::optional<FixtureOpenChoice> openChoice = std::nullopt;
};

// The images the renderer writes, in order.
const std::vector<FixtureRow>& fixtureRows();

// The options of the renderer's store: the default store over `eventFile`, with its action audit
// beside that file, so a render never writes into the user's application folder.
EventStoreOptions fixtureStoreOptions(const QString& eventFile);

// The row's frame with the expanded height resolved against the store's messages.
QSizeF fixtureFrame(const FixtureRow& row, EventStore& store);

// Draws one row with a fresh view over `store` (or over the row's own records) into a transparent image of the frame rounded up
// to whole pixels, times `devicePixelRatio`.
Result<QImage> renderFixtureImage(const FixtureRow& row, EventStore& store, qreal devicePixelRatio = 1);

// Renders `rows` in order into `directory` (created with its parents), each PNG written
// atomically. Stops at the first failure; images written before it stay.
Result<void> renderFixtureImages(const QString& directory, EventStore& store, const std::vector<FixtureRow>& rows,
                                 qreal devicePixelRatio = 1);

// The whole run for the entry point: requires a non-blank TANDREL_EVENT_FILE (status 2), writes
// the fixture records to it, reads them with a store and renders every row into `directory`.
// Prints "Rendered fixtures to <folder>" and returns 0, or prints "Fixture rendering failed: …"
// and returns 1.
int renderFixtures(const QString& directory);

}  // namespace tandrel
