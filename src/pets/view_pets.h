#pragma once

// The pet side of one island view: its copy of the pet catalogue (read when the view is made, and
// again from the Pets tab's reload control), imports, removals and the selection with their
// banners. The selected pet itself lives in the shared settings model. Main thread only.

#include "pets/pet_choice.h"
#include "ui/settings_model.h"

#include <QColor>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QWidget;

namespace tandrel {

class ViewPets {
 public:
  // What the view does for its pets: show a banner, redraw, tell the other views that the
  // catalogue changed, tell the controller that a setting changed, and give the folder chooser
  // its parent window.
  struct ViewHooks {
    std::function<void(const QString& text, const QColor& color)> showBanner;
    std::function<void()> redraw;
    std::function<void()> catalogueChanged;
    std::function<void()> settingsChanged;
    std::function<QWidget*()> dialogParent;
  };

  // Reads where the catalogue comes from (our home, the Codex home, the bundled pets) now.
  ViewPets(SettingsModel& settings, ViewHooks hooks);

  // The catalogue, in display order; the controller copies it to the other views.
  std::vector<PetChoice> choices;
  // Where the catalogue is read from.
  QString localTandrelHomeURL;
  QString localCodexHomeURL;
  std::optional<QString> bundledBuiltInPetsURL;
  std::optional<QString> bundledCodexPetsURL;
  // The folder chooser of the import (the modal dialog unless a test replaces it).
  std::function<std::optional<QString>(QWidget* parent)> folderChooser;

  // Rebuilds the catalogue (emptying the shared pet image cache first) and repairs the selected
  // pet in memory; saves nothing and tells nobody.
  void refresh();
  // The Pets tab's refresh control: the rebuild, the banner "Loaded N local pets", the other views
  // told.
  void reloadFromControl();
  // Asks for a folder, adds the pet it holds at the front and selects it; a cancelled chooser
  // changes nothing.
  void importDirectory();
  // The removal of a deletable pet: hidden for good, its own folder deleted when it lives in
  // ~/.tandrel/pets, the selection moved on when it was selected.
  void remove(const QString& id);
  // The first catalogue entry with the selected id, or none.
  const PetChoice* selected() const;
  // Makes `id` the selected pet, with the banner "<name> selected".
  void select(const QString& id);
  // Loads every pet's image into the shared cache on a worker thread.
  void warmImageCache() const;

 private:
  SettingsModel& settings_;
  ViewHooks hooks_;
};

}  // namespace tandrel
