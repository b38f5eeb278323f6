// The refresh cycle and the manual run of the first template report.
#include <chrono>
#include <string>

#include "host/frm_main.h"

namespace tavrolin {

void frmMain::Timer1_Timer() {
  if (Busy) return;
  const bool listening = platform_.service_status().Listening();
  LocalDateTime at;
  if (listening) at = platform_.clock().Now();
  const auto started = std::chrono::steady_clock::now();
  tally_ = RefreshTally{};
  BuildAndWatch("tags.xml", [this] { BuildCategoryReport(); });
  BuildAndWatch("tags3.xml",
                [this] { BuildTemplateReport("tags3.xml", "out3.xml"); });
  BuildAndWatch("tags2.xml",
                [this] { BuildTemplateReport("tags2.xml", "out2.xml"); });
  if (listening) {
    NoteClientLibrary();
    ShowRefreshStatus(at, started);
  }
}

void frmMain::Command1_Click() {
  BuildAndWatch("tags3.xml",
                [this] { BuildTemplateReport("tags3.xml", "out3.xml"); });
  if (platform_.service_status().Listening()) NoteClientLibrary();
  platform_.window().ShowMessage("done");
}

template <typename Build>
void frmMain::BuildAndWatch(const std::string& tag_list, Build build) {
  readers_.ForgetLookups();
  const int written = tally_.written;
  build();
  // A build that failed has its failure reported; what its look-ups met
  // before it failed says nothing about the tag list as a whole.
  if (tally_.written != written) WatchUnknownPoints(tag_list);
}

}  // namespace tavrolin
