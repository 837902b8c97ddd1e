#include "app/entry_point.h"
#include "selfcheck/fixture_renderer.h"
#include "selfcheck/self_test_runner.h"
#include "selfcheck/switch_checks.h"

int main(int argc, char** argv) {
  tandrel::SelfCheckEntryPoints selfChecks;
  selfChecks.runSelfTests = tandrel::runSelfTests;
  selfChecks.renderFixtures = tandrel::renderFixtures;
  selfChecks.auditEmit = tandrel::auditEmitCheck;
  selfChecks.auditReconcile = tandrel::auditReconcileCheck;
  selfChecks.petState = tandrel::petStateCheck;
  selfChecks.pendingScenario = tandrel::pendingScenarioCheck;
  return tandrel::runEntryPoint(argc, argv, selfChecks);
}
