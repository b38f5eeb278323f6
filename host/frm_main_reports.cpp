// The report builders' error traps: each raises Busy, builds its report, and
// on any failure lowers Busy first and then reports the failure.
#include <exception>
#include <string>

#include "host/frm_main.h"
#include "reports/category_report.h"
#include "reports/template_report.h"

namespace tavrolin {
namespace {

// The error of a failed build, naming the files: a failure that says nothing
// of them (out of memory, an unexpected exception) is told which report it
// belongs to.
Error BuildFailure(const std::exception& e, const std::string& input_file,
                   const std::string& output_path) {
  Error error = ToError(e);
  const std::string& description = error.description();
  const auto names = [&description](const std::string& path) {
    const std::size_t separator = path.find_last_of("/\\");
    const std::string file_name =
        separator == std::string::npos ? path : path.substr(separator + 1);
    return description.find(file_name) != std::string::npos;
  };
  if (names(input_file) || names(output_path)) return error;
  return Error(error.number(), description + " (building " + output_path +
                                   " from " + input_file + ")");
}

}  // namespace

void frmMain::BuildCategoryReport() {
  Busy = true;
  report_services_.values_written = 0;
  std::string output_path = "out.xml";
  try {
    output_path = OutputPath(output_path);
    MakeCategoryReport(report_services_, "tags.xml", output_path);
  } catch (const std::exception& e) {
    Busy = false;
    ++tally_.failed;
    ReportError(BuildFailure(e, "tags.xml", output_path));
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
    ReportError(BuildFailure(e, input_file, output_path));
    return;
  }
  Busy = false;
  ++tally_.written;
  tally_.values += report_services_.values_written;
}

std::string frmMain::OutputPath(const std::string& file_name) {
  Process& process = platform_.process();
  return process.ReportDirectory() + process.PathSeparator() + file_name;
}

}  // namespace tavrolin
