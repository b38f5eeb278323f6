// The report builders and their one error trap: it raises Busy, works out
// the output path and builds the report, and on any failure lowers Busy
// first and then reports the failure.
#include <exception>
#include <string>

#include "common/paths.h"
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
    // Either separator: the path may be a Windows one.
    return description.find(FileNameOf(path, PathStyle::kWindows)) !=
           std::string::npos;
  };
  if (names(input_file) || names(output_path)) return error;
  return Error(error.number(), description + " (building " + output_path +
                                   " from " + input_file + ")");
}

// Raises a flag for as long as it lives: on every way out of a build, the
// failing one included, the flag is down before anything else runs.
class Raised {
 public:
  explicit Raised(bool& flag) : flag_(flag) { flag_ = true; }
  ~Raised() { flag_ = false; }
  Raised(const Raised&) = delete;
  Raised& operator=(const Raised&) = delete;

 private:
  bool& flag_;
};

// Tells the platform's supervisor which report is being built, for as long
// as the guard lives.
class ReportInProgress {
 public:
  ReportInProgress(Progress& progress, const std::string& input_file,
                   const std::string& output_path)
      : progress_(progress) {
    progress_.Started(output_path + " from " + input_file);
  }
  ~ReportInProgress() { progress_.Finished(); }
  ReportInProgress(const ReportInProgress&) = delete;
  ReportInProgress& operator=(const ReportInProgress&) = delete;

 private:
  Progress& progress_;
};

}  // namespace

void frmMain::BuildCategoryReport() {
  BuildReport("tags.xml", "out.xml", MakeCategoryReport);
}

void frmMain::BuildTemplateReport(const std::string& input_file,
                                  const std::string& output_file) {
  BuildReport(input_file, output_file, MakeTemplateReport);
}

void frmMain::BuildReport(const std::string& input_file,
                          const std::string& output_file, ReportMaker make) {
  // Named by the file alone until its folder is known.
  std::string output_path = output_file;
  try {
    // Lowered as the try block is left, before the failure is reported.
    const Raised busy(Busy);
    report_services_.values_written = 0;
    output_path = OutputPath(output_file);
    const ReportInProgress in_progress(platform_.progress(), input_file,
                                       output_path);
    make(report_services_, input_file, output_path);
  } catch (const std::exception& e) {
    ++tally_.failed;
    ReportError(BuildFailure(e, input_file, output_path));
    return;
  }
  ++tally_.written;
  tally_.values += report_services_.values_written;
}

std::string frmMain::OutputPath(const std::string& file_name) {
  Process& process = platform_.process();
  return process.ReportDirectory() + process.PathSeparator() + file_name;
}

}  // namespace tavrolin
