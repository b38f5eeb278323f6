#include "host/frm_main.h"

namespace tavrolin {

// Placeholder until start-up and the service events land.
frmMain::frmMain(Platform& platform)
    : platform_(platform),
      pi_api_(platform.library_loader(), platform.historian_library_names()),
      readers_(pi_api_, platform.date_settings(), platform.code_page()),
      report_services_{readers_, platform.clock(), platform.date_settings(),
                       platform.code_page(), platform.report_writer()} {}

int frmMain::Show() { return kExitSuccess; }
void frmMain::Form_Load() {}
void frmMain::NTService1_Start(bool& result) { result = true; }
void frmMain::NTService1_Stop() {}
void frmMain::ReportError(const Error&) {}

}  // namespace tavrolin
