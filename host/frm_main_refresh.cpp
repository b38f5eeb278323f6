// The refresh cycle and the manual run of the first template report.
#include "host/frm_main.h"

namespace tavrolin {

void frmMain::Timer1_Timer() {
  if (Busy) return;
  BuildCategoryReport();
  BuildTemplateReport("tags3.xml", OutputPath("out3.xml"));
  BuildTemplateReport("tags2.xml", OutputPath("out2.xml"));
}

void frmMain::Command1_Click() {
  BuildTemplateReport("tags3.xml", OutputPath("out3.xml"));
  platform_.window().ShowMessage("done");
}

}  // namespace tavrolin
