#include "app/entry_point.h"
#include "selfcheck/switch_checks.h"

int main(int argc, char** argv) {
  tandrel::SelfCheckEntryPoints selfChecks;
  selfChecks.auditEmit = tandrel::auditEmitCheck;
  selfChecks.auditReconcile = tandrel::auditReconcileCheck;
  selfChecks.petState = tandrel::petStateCheck;
  selfChecks.pendingScenario = tandrel::pendingScenarioCheck;
  return tandrel::runEntryPoint(argc, argv, selfChecks);
}
