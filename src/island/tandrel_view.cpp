// The island view's shell: set-up, the environment's fixture knobs, the mode, the status banner
// and tear-down.

#include "island/tandrel_view.h"

#include "catalog/paths.h"
#include "events/event_store.h"
#include "island/collapsed_ticker.h"
#include "ui/tool_logo.h"

#include <algorithm>
#include <cmath>

namespace tandrel {
namespace {

std::optional<SettingsTab> settingsTabFromEnvironment(QString value) {
  value = value.toLower().remove(QLatin1Char('-'));
  if (value == QLatin1String("general")) {
    return SettingsTab::general;
  }
  if (value == QLatin1String("pets")) {
    return SettingsTab::pets;
  }
  if (value == QLatin1String("sound")) {
    return SettingsTab::sound;
  }
  if (value == QLatin1String("aitools") || value == QLatin1String("tools")) {
    return SettingsTab::aiTools;
  }
  if (value == QLatin1String("about")) {
    return SettingsTab::about;
  }
  return std::nullopt;
}

}  // namespace

// What the settings panel and its pages reach of the view.
class TandrelView::SettingsHost final : public SettingsPanelHost {
 public:
  explicit SettingsHost(TandrelView& view) : view_(view) {}

  SettingsModel& settings() override { return view_.settings_; }
  Clock& clock() override { return view_.clock_; }
  ViewSounds& sounds() override { return *view_.sounds_; }
  ViewPets& pets() override { return *view_.pets_; }
  std::vector<ToolHealth>& toolHealth() override { return view_.toolHealth; }
  void showBanner(std::optional<QString> text, const QColor& color) override {
    view_.statusBannerColor = color;
    view_.setStatusBanner(std::move(text));
  }
  void redraw() override { view_.update(); }
  OverlayHost* host() override { return view_.controller.data(); }
  void petsDidChange() override {
    if (view_.controller != nullptr) {
      view_.controller->petsDidChange(&view_);
    }
  }
  QWidget& widget() override { return view_; }
  PetState islandPetState() override { return view_.currentPetState(); }
  void normalizeActiveUsageTool() override { view_.normalizeActiveUsageTool(); }
  void evaluateAnimationTimer() override { view_.evaluatePetAnimationTimer(); }

  bool showsSettings() override { return view_.mode() == OverlayMode::settings; }
  void leaveSettings() override { view_.requestMode(OverlayMode::collapsed); }
  void usageToolsChanged() override { view_.markUsageToolsUnset(); }
  QString usageToolsHealthSignature(const std::vector<ToolHealth>& rows) override {
    return tandrel::usageToolsHealthSignature(rows);
  }
  bool terminated() override { return view_.terminated_; }
  const std::optional<QString>& statusBanner() override { return view_.statusBanner_; }
  QColor statusBannerColor() override { return view_.statusBannerColor; }

 private:
  TandrelView& view_;
};

TandrelView::TandrelView(const QSize& size, EventStore& store, Clock& clock, QWidget* parent)
    : TandrelView(size, store, SettingsModel::shared(), clock, parent) {}

TandrelView::TandrelView(const QSize& size, EventStore& store, SettingsModel& settings, Clock& clock,
                         QWidget* parent)
    : QWidget(parent),
      store_(store),
      settings_(settings),
      clock_(clock),
      pets_(std::make_unique<ViewPets>(settings, petHooks())),
      settingsHost_(std::make_unique<SettingsHost>(*this)),
      settingsPanel_(std::make_unique<SettingsPanel>(*settingsHost_)),
      island_(std::make_unique<IslandView>(*this, store, settings, clock)),
      debugLockExpanded(qgetenv("TANDREL_LOCK_EXPANDED") == "1") {
  toolLogoPainter = [](QPainter& painter, const QString& tool, const QRectF& rect) {
    drawToolLogo(painter, tool, rect);
  };
  modeAnimationStarted = mediaTime();
  toolHealth = HookManager::shared().health();
  resize(size);
  setAttribute(Qt::WA_NoSystemBackground);
  setMouseTracking(true);
  settingsLoaded();
  ViewSounds::ViewHooks soundHooks;
  soundHooks.showBanner = [this](const QString& text, const std::optional<QColor>& color) {
    setStatusBanner(text);
    if (color) {
      statusBannerColor = *color;
    }
  };
  soundHooks.redraw = [this] { update(); };
  soundHooks.evaluateAnimationTimer = [this] { evaluatePetAnimationTimer(); };
  sounds_ = std::make_unique<ViewSounds>(
      settings_, clock_, soundOutputOverrideForTests ? *soundOutputOverrideForTests : SoundOutput::system(),
      ViewSounds::Environment{tandrelHomeURL(), resourcesDirectory()}, std::move(soundHooks));
  sounds_->refreshLocalSoundsFromCLI();
  // What the store holds now is history: it never sounds.
  sounds_->seedEventSounds(store_.events(), store_.revision());
  connect(&settings_, &SettingsModel::loaded, this, &TandrelView::settingsLoaded);
  connect(&settings_, &SettingsModel::changed, this, [this] {
    update();
    evaluatePetAnimationTimer();
  });
  applyEnvironmentOverrides(QProcessEnvironment::systemEnvironment());
  refreshLocalPets();
  evaluatePetAnimationTimer();
}

TandrelView::~TandrelView() { prepareForTermination(); }

void TandrelView::applyEnvironmentOverrides(const QProcessEnvironment& environment) {
  if (!environment.contains(QStringLiteral("TANDREL_SETTINGS_TAB"))) {
    return;
  }
  if (const std::optional<SettingsTab> tab = settingsTabFromEnvironment(environment.value("TANDREL_SETTINGS_TAB"))) {
    settingsPanel_->setActiveTab(*tab);
  }
  bool ok = false;
  const double scroll = environment.value(QStringLiteral("TANDREL_SETTINGS_SCROLL")).toDouble(&ok);
  if (ok) {
    settingsScrollOffsets[activeSettingsTab()] = scroll;
  }
  if (const std::optional<PetPreviewMode> preview =
          parsePetPreviewMode(environment.value(QStringLiteral("TANDREL_PREVIEW_MODE")).toLower())) {
    previewMode = *preview;
    const CompanionDisplayMode companion = *parseCompanionDisplayMode(rawValue(*preview));
    settings_.change([companion](UserSettings& s) { s.companionDisplayMode = companion; }, false);
  }
  const QString state = environment.value(QStringLiteral("TANDREL_PREVIEW_STATE"));
  for (const PetPreviewStateID candidate :
       {PetPreviewStateID::idle, PetPreviewStateID::running, PetPreviewStateID::waitingInput, PetPreviewStateID::review,
        PetPreviewStateID::approval, PetPreviewStateID::error, PetPreviewStateID::rateLimit, PetPreviewStateID::sleeping}) {
    if (rawValue(candidate).compare(state, Qt::CaseInsensitive) == 0) {
      settings_.change([candidate](UserSettings& s) { s.previewState = candidate; }, false);
    }
  }
  const double phase = environment.value(QStringLiteral("TANDREL_LIVE_PREVIEW_PHASE")).toDouble(&ok);
  if (ok && std::isfinite(phase)) {
    livePreviewPhase = std::max(0.0, phase);
    isLivePreviewFixtureMode = true;
  }
}

void TandrelView::settingsLoaded() {
  island_->invalidatePetState();
  settingsPanel_->settingsLoaded();
  markUsageToolsUnset();
}

void TandrelView::reloadSettingsFromDefaults() { settings_.load(); }

void TandrelView::setMode(OverlayMode mode) {
  if (mode == mode_) {
    return;
  }
  mode_ = mode;
  island_->modeChanged(mode);
  modeAnimationStarted = mediaTime();
  if (mode == OverlayMode::expanded) {
    usageAnimationStarted = modeAnimationStarted;
  }
  update();
  evaluatePetAnimationTimer();
  evaluateLivePreviewDriver();
}

void TandrelView::requestMode(OverlayMode mode) {
  if (controller != nullptr) {
    controller->setMode(mode, this);
  } else {
    setMode(mode);
  }
}

void TandrelView::setDisplayKind(DisplayKind kind) {
  displayKind_ = kind;
  update();
}

void TandrelView::closeSettingsFromTitleBar() {
  if (controller != nullptr) {
    controller->closeSettings(this);
  }
}

void TandrelView::setStatusBanner(std::optional<QString> text) {
  statusBanner_ = std::move(text);
  statusBannerDismissWork_.cancel();
  if (statusBanner_) {
    QPointer<TandrelView> self(this);
    const QString shown = *statusBanner_;
    statusBannerDismissWork_ = clock_.schedule(kStatusBannerDuration, [self, shown] {
      if (self && self->statusBanner_ == shown) {
        self->setStatusBanner(std::nullopt);
      }
    });
  }
  update();
}

void TandrelView::refreshFromDisk() {
  sounds_->refreshLocalSoundsFromCLI();
  playSoundsForNewEvents();
  const QString active = activeUsageTool;
  normalizeActiveUsageTool();
  if (activeUsageTool != active) {
    update();
  }
  if (mode_ == OverlayMode::settings && activeSettingsTab() == SettingsTab::aiTools) {
    refreshAIToolsHealth(false);
  }
  evaluatePetAnimationTimer();
}

void TandrelView::playSoundsForNewEvents() { sounds_->playSoundsForNewEvents(store_.events(), store_.revision()); }

void TandrelView::prepareForTermination() {
  if (!terminated_) {
    terminated_ = true;
    ++terminationCountForTests;
  }
  island_->cancelHoverWork();
  statusBannerDismissWork_.cancel();
  stopPetAnimationTimer();
  stopLivePreviewDriver();
  sounds_->stopAll();
}

}  // namespace tandrel
