#include "settings/pages/general_page.h"
#include "settings/pages/live_preview_layout.h"
#include "settings/pages/pets_page_layout.h"
#include "settings/settings_frame.h"
#include "settings/settings_pages.h"
#include "settings/settings_paint.h"
#include "ui/high_contrast.h"

#include "settings_view_fixture.h"

#include <QCoreApplication>
#include <QFontInfo>
#include <QMouseEvent>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace tandrel {
namespace {

class SettingsPanelGui : public test::SettingsViewFixture {
 protected:
  SettingsPanelGui() { view->setMode(OverlayMode::settings); }

  std::unique_ptr<TandrelView> view = makeView(QSize(860, 780));
};

// How far a pixel is from the selection blue of a switch that is on.
int distanceFromBlue(QRgb pixel) {
  return std::abs(qRed(pixel) - 0) + std::abs(qGreen(pixel) - 107) + std::abs(qBlue(pixel) - 255);
}

QRgb pixelAt(const QImage& image, QPointF viewPoint) {
  const qreal ratio = image.devicePixelRatio();
  return image.pixel(static_cast<int>(viewPoint.x() * ratio), static_cast<int>(viewPoint.y() * ratio));
}

TEST_F(SettingsPanelGui, EachGeneralRouteIsHitWhereItsSwitchIsDrawn) {
  ASSERT_EQ(QFontInfo(islandFont(13)).family(), QStringLiteral("Inter"));
  for (const int width : {860, 1100}) {
    for (const qreal ratio : {1.0, 2.0}) {
      SCOPED_TRACE(testing::Message() << width << " @" << ratio);
      view->resize(width, 780);
      settings.change(
          [](UserSettings& s) { s.showInDockMode = s.desktopCompanionMode = s.holdFinishedTurns = true; });
      const QImage on = view->renderImage(ratio);
      const std::vector<SettingsClickRoute> routes = view->settingsPanel().page(SettingsTab::general).routes();
      ASSERT_EQ(routes.size(), 3u);
      EXPECT_EQ(routes[0].rect, QRectF(width - 56, 85, 36, 20));
      EXPECT_EQ(routes[1].rect, QRectF(width - 56, 144, 36, 20));
      EXPECT_EQ(routes[2].rect, QRectF(width - 56, 203, 36, 20));
      for (const SettingsClickRoute& route : routes) {
        // The switch's blue track fills its route (left of the knob), nothing blue lies beside it.
        const QPointF track(route.rect.left() + 6, settings_frame::viewY(route.rect.center().y(), 0));
        EXPECT_LT(distanceFromBlue(pixelAt(on, track)), 40);
        EXPECT_GT(distanceFromBlue(pixelAt(on, track - QPointF(8, 0))), 200);
        EXPECT_GT(distanceFromBlue(pixelAt(on, track + QPointF(0, 14))), 200);
      }
      // A click where each switch is drawn flips its setting off and writes it; a click beside it
      // does nothing.
      view->settingsMouseDown(QPointF(width - 50, 105 + 5), false);
      view->settingsMouseDown(QPointF(width - 50, 164 + 5), false);
      view->settingsMouseDown(QPointF(width - 50, 223 + 5), false);
      EXPECT_FALSE(settings.values().showInDockMode);
      EXPECT_FALSE(settings.values().desktopCompanionMode);
      EXPECT_FALSE(settings.values().holdFinishedTurns);
      EXPECT_EQ(defaults.storedAs<bool>(QStringLiteral("showInDockMode")), false);
      EXPECT_EQ(defaults.storedAs<bool>(QStringLiteral("holdFinishedTurns")), false);
      EXPECT_FALSE(view->handleSettingsClick(QPointF(width - 57, 90)));
      EXPECT_FALSE(view->handleSettingsClick(QPointF(width - 20, 90)));  // the right edge is outside
      EXPECT_TRUE(view->handleSettingsClick(QPointF(width - 56, 85)));
      EXPECT_TRUE(settings.values().showInDockMode);
    }
  }
}

TEST_F(SettingsPanelGui, TheRenderShowsSidebarHeaderRowsAndSwitches) {
  for (const qreal ratio : {1.0, 2.0}) {
    SCOPED_TRACE(ratio);
    const QImage image = view->renderImage(ratio);
    ASSERT_EQ(image.size(), QSize(860, 780) * ratio);
    const auto brightness = [&](QPointF p) { return qGray(pixelAt(image, p)); };
    // The active tab's row is lit; an inactive row is not; the sidebar is lighter than the page.
    EXPECT_GT(brightness(QPointF(130, 80)), brightness(QPointF(130, 118)) + 15);
    EXPECT_GT(brightness(QPointF(60, 500)), brightness(QPointF(500, 500)));
    // The divider, the header's rule and the rows' separators.
    EXPECT_GT(brightness(QPointF(147.5, 500)), brightness(QPointF(145, 500)));
    EXPECT_GT(brightness(QPointF(500, 74.5)), brightness(QPointF(500, 72)));
    EXPECT_GT(brightness(QPointF(500, 20 + 69 + 58.5)), brightness(QPointF(500, 20 + 69 + 55)));
    // Text in the header, the row titles and the sidebar: some pixel of each box is bright.
    const auto lit = [&](const QRectF& box) {
      int brightest = 0;
      for (qreal y = box.top(); y < box.bottom(); y += 0.5) {
        for (qreal x = box.left(); x < box.right(); x += 0.5) {
          brightest = std::max(brightest, brightness(QPointF(x, y)));
        }
      }
      return brightest;
    };
    EXPECT_GT(lit(QRectF(192, 37, 60, 20)), 170);   // "General", white 0.82
    EXPECT_GT(lit(QRectF(168, 104, 60, 14)), 150);  // "Show in Tray", white 0.80
    EXPECT_GT(lit(QRectF(42, 78, 50, 16)), 180);    // the active tab's title
    EXPECT_LT(lit(QRectF(42, 116, 50, 16)), 140);   // an inactive tab's title, white 0.44
    EXPECT_LT(lit(QRectF(400, 260, 300, 300)), 30);  // nothing below the rows
    // Both switches off: a white knob on the left of a faint track; no scroll indicator.
    EXPECT_GT(brightness(QPointF(860 - 56 + 10, 20 + 85 + 10)), 240);
    EXPECT_LT(brightness(QPointF(860 - 56 + 28, 20 + 85 + 10)), 60);
    EXPECT_LT(lit(QRectF(848, 80, 4, 694)), 30);
  }
  // The banner sits in the header in its colour, leaving the title and the first row as they were.
  const QImage before = view->renderImage(1);
  view->setStatusBanner(QStringLiteral("Sound muted"));
  view->statusBannerColor = settings_paint::kInformationBlue;
  const QImage banner = view->renderImage(1);
  const QRectF place = settings_frame::statusBannerRect(860);
  const QRgb tint = pixelAt(banner, QPointF(place.left() + 12, place.center().y()));
  EXPECT_GT(qBlue(tint), qRed(tint) + 10);
  EXPECT_GT(qGray(pixelAt(banner, QPointF(place.left() + 0.5, place.center().y()))),
            qGray(pixelAt(banner, QPointF(place.left() - 2, place.center().y()))));
  const QRect title(0, 37, static_cast<int>(place.left()) - 4, 20);
  EXPECT_EQ(banner.copy(title), before.copy(title));
  EXPECT_EQ(banner.copy(148, 75, 712, 120), before.copy(148, 75, 712, 120));
}

TEST_F(SettingsPanelGui, EachSidebarRowSelectsTheTabItIsDrawnFor) {
  for (size_t i = 0; i < settings_frame::kTabs.size(); ++i) {
    const QRectF row = settings_frame::tabRowRect(static_cast<int>(i));
    view->settingsMouseDown(QPointF(row.right() - 3, row.center().y()), false);
    ASSERT_EQ(view->activeSettingsTab(), settings_frame::kTabs[i]);
    // The lit row is the clicked one, to its edges; the others are dark.
    const QImage image = view->renderImage(2);
    for (size_t j = 0; j < settings_frame::kTabs.size(); ++j) {
      const QRectF other = settings_frame::tabRowRect(static_cast<int>(j));
      const int lit = qGray(pixelAt(image, QPointF(other.right() - 3, other.center().y())));
      EXPECT_EQ(lit > 30, i == j) << i << " " << j << " " << lit;
    }
  }
}

TEST_F(SettingsPanelGui, SidebarHeaderAndTitleStripTakeTheirClicks) {
  view->setStatusBanner(QStringLiteral("AI Tools refreshed"));
  view->settingsMouseDown(QPointF(60, 68 + 37.5 * 2 + 10), false);
  EXPECT_EQ(view->activeSettingsTab(), SettingsTab::sound);
  EXPECT_FALSE(view->statusBanner());
  view->settingsMouseDown(QPointF(60, 68 + 10), false);
  EXPECT_EQ(view->activeSettingsTab(), SettingsTab::general);

  // The header moves the window; where the window system cannot, the view follows the pointer
  // until the button is released. The page under the header gets no click.
  view->show();
  view->move(100, 100);
  view->settingsMouseDown(QPointF(600, 40), false);
  ASSERT_TRUE(view->settingsPanelPointerInteraction);
  view->continueSettingsPointerInteraction(QPointF(), view->settingsPanelPointerInteraction->startPoint + QPointF(30, 12));
  EXPECT_EQ(view->frameGeometry().topLeft(), QPoint(130, 112));
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(630, 52), QPointF(630, 52), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(view.get(), &release);
  EXPECT_FALSE(view->settingsPanelPointerInteraction);

  // A double click on the title strip zooms the window and back; below it, it is a click.
  view->settingsMouseDown(QPointF(600, 20), true);
  EXPECT_TRUE(view->isMaximized());
  view->settingsMouseDown(QPointF(600, 20), true);
  EXPECT_FALSE(view->isMaximized());
  view->hide();
}

TEST_F(SettingsPanelGui, DraggingThePetSizeSliderResizesAtEachMoveAndSavesTheSize) {
  view->activateSettingsTab(SettingsTab::pets);
  view->scrollPetsTabToLivePreviewCanvas();
  view->show();
  const qreal below = pets_page::livePreviewTop(static_cast<int>(view->petChoices.size()));
  const QRectF track = live_preview::sliderTrackRect(live_preview::sizeControlRect(below));
  const qreal y = settings_frame::viewY(track.center().y(), view->settingsScrollOffset());
  const auto send = [&](QEvent::Type type, qreal x, Qt::MouseButtons buttons) {
    const QPointF point(x, y);
    QMouseEvent event(type, point, view->mapToGlobal(point), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(view.get(), &event);
  };
  const auto saved = [&] { return UserDefaults(defaults.filePath()).storedAs<double>("floatingPetScale"); };

  send(QEvent::MouseButtonPress, track.left() + track.width() / 4, Qt::LeftButton);
  const struct {
    qreal x;
    double scale;
  } moves[] = {
      {track.left() + track.width() / 2, 1.175},
      {track.left() + track.width() * 3 / 4, 1.3875},
      {track.right() + 60, 1.6},  // past either end: the end value
      {track.left() - 60, 0.75},
      {track.left() + track.width() / 2, 1.175},
  };
  EXPECT_NEAR(settings.values().floatingPetScale, 0.9625, 1e-9);
  for (const auto& move : moves) {
    send(QEvent::MouseMove, move.x, Qt::LeftButton);
    EXPECT_NEAR(settings.values().floatingPetScale, move.scale, 1e-9) << move.x;
    EXPECT_NEAR(view->previewPetScale, move.scale, 1e-9);
    EXPECT_NEAR(saved().value_or(0), move.scale, 1e-9);
  }
  send(QEvent::MouseButtonRelease, track.left() + track.width() / 2, Qt::NoButton);
  EXPECT_FALSE(view->settingsPanelPointerInteraction);
  send(QEvent::MouseMove, track.right(), Qt::NoButton);  // released: the pointer no longer moves the knob
  EXPECT_NEAR(settings.values().floatingPetScale, 1.175, 1e-9);
  view->hide();
}

TEST_F(SettingsPanelGui, TheWheelScrollsOnlyTheSettingsPageAndOnlyContentThatDoesNotFit) {
  const auto wheel = [this](QPoint pixels, QPoint angle) {
    QWheelEvent event(QPointF(500, 400), QPointF(500, 400), pixels, angle, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view.get(), &event);
    return event.isAccepted();
  };
  (void)view->renderImage();  // the General tab fits: nothing scrolls
  EXPECT_TRUE(wheel(QPoint(), QPoint(0, -120)));
  EXPECT_EQ(view->settingsScrollOffset(), 0);

  view->lastDrawnContentHeight = 1000;  // as a taller page leaves it
  EXPECT_TRUE(wheel(QPoint(), QPoint(0, -120)));  // one notch of a wheel
  EXPECT_EQ(view->settingsScrollOffset(), settings_frame::kWheelNotchPixels);
  EXPECT_TRUE(wheel(QPoint(0, -30), QPoint(0, -120)));  // a touchpad's pixels win
  EXPECT_EQ(view->settingsScrollOffset(), settings_frame::kWheelNotchPixels + 30);
  wheel(QPoint(0, -5000), QPoint());
  EXPECT_EQ(view->settingsScrollOffset(), 1000 - 706);
  // Offsets are kept per tab.
  view->activateSettingsTab(SettingsTab::about);
  EXPECT_EQ(view->settingsScrollOffset(), 0);
  view->activateSettingsTab(SettingsTab::general);
  EXPECT_EQ(view->settingsScrollOffset(), 1000 - 706);

  // A click lands in content coordinates: scrolled by 30, the tray switch is 30 higher.
  view->settingsScrollOffsets[SettingsTab::general] = 30;
  view->settingsMouseDown(QPointF(860 - 50, 85 + 20 - 30 + 5), false);
  EXPECT_TRUE(settings.values().showInDockMode);

  // Outside settings mode the wheel is not the view's.
  view->setMode(OverlayMode::expanded);
  EXPECT_FALSE(wheel(QPoint(), QPoint(0, -120)));
}

TEST_F(SettingsPanelGui, HighContrastPassesOverWhatIsDrawn) {
  const QImage normal = view->renderImage(2);
  settings.change([](UserSettings& s) { s.highContrast = true; });
  const QImage contrasted = view->renderImage(2);
  QImage expected = normal;
  applyHighContrast(expected);
  EXPECT_EQ(contrasted, expected);
  EXPECT_NE(contrasted, normal);
}

}  // namespace
}  // namespace tandrel
