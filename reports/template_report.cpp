#include "reports/template_report.h"

#include "platform/error.h"

namespace tavrolin {

// Placeholder until the builder lands.
void MakeTemplateReport(ReportServices&, const std::string&,
                        const std::string&) {
  throw Error(errnum::kInternal, "The template report is not built yet");
}

}  // namespace tavrolin
