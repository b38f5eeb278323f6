#include "reports/category_report.h"

#include "platform/error.h"

namespace tavrolin {

// Placeholder until the builder lands.
void MakeCategoryReport(ReportServices&, const std::string&,
                        const std::string&) {
  throw Error(errnum::kInternal, "The category report is not built yet");
}

}  // namespace tavrolin
