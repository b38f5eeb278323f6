// The refresh cycle and the manual run of the first template report.
#include <chrono>

#include "host/frm_main.h"

namespace tavrolin {

void frmMain::Timer1_Timer() {
  if (Busy) return;
  const bool listening = platform_.service_status().Listening();
  LocalDateTime at;
  if (listening) at = platform_.clock().Now();
  const auto started = std::chrono::steady_clock::now();
  tally_ = RefreshTally{};
  BuildCategoryReport();
  BuildTemplateReport("tags3.xml", "out3.xml");
  BuildTemplateReport("tags2.xml", "out2.xml");
  if (listening) ShowRefreshStatus(at, started);
}

void frmMain::Command1_Click() {
  BuildTemplateReport("tags3.xml", "out3.xml");
  platform_.window().ShowMessage("done");
}

}  // namespace tavrolin
