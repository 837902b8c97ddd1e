#pragma once

// The About tab's update panel as the user meets it: a click really checks and the panel walks
// through download to restart; an automatic result marks the tab with one short reminder; the
// panel's button and the "App Log" below it sit at fixed places in each state.

#include <QString>

namespace tandrel {

bool aboutUpdateUIActionFunctionalTest(const QString& tempRoot);
bool automaticUpdateViewReminderFunctionalTest(const QString& tempRoot);
bool aboutUpdatePanelLayoutFunctionalTest(const QString& tempRoot);

}  // namespace tandrel
