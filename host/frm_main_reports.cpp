// The report builders' error traps: each raises Busy, builds its report, and
// on any failure lowers Busy first and then reports the failure.
#include <exception>

#include "host/frm_main.h"
#include "reports/category_report.h"
#include "reports/template_report.h"

namespace tavrolin {

void frmMain::BuildCategoryReport() {
  Busy = true;
  report_services_.values_written = 0;
  try {
    MakeCategoryReport(report_services_, "tags.xml", OutputPath("out.xml"));
  } catch (const std::exception& e) {
    Busy = false;
    ++tally_.failed;
    ReportError(ToError(e));
    return;
  }
  Busy = false;
  ++tally_.written;
  tally_.values += report_services_.values_written;
}

void frmMain::BuildTemplateReport(const std::string& input_file,
                                  const std::string& output_path) {
  Busy = true;
  report_services_.values_written = 0;
  try {
    MakeTemplateReport(report_services_, input_file, output_path);
  } catch (const std::exception& e) {
    Busy = false;
    ++tally_.failed;
    ReportError(ToError(e));
    return;
  }
  Busy = false;
  ++tally_.written;
  tally_.values += report_services_.values_written;
}

std::string frmMain::OutputPath(const std::string& file_name) {
  Process& process = platform_.process();
  return process.ExecutableDirectory() + process.PathSeparator() + file_name;
}

}  // namespace tavrolin
