#include "historian/module1.h"

#include "platform/error.h"

namespace tavrolin {

Module1::Module1(basPI_API& api, const DateSettings& date_settings,
                 const CodePage& code_page)
    : api_(api), date_settings_(date_settings), code_page_(code_page) {}

// Placeholders until the readers land.
std::string Module1::GetSnapshotText(int32_t, std::string&) { return " 0"; }
std::string Module1::GetDigitalStateText(int32_t, std::string&) { return ""; }
std::string Module1::GetSummaryText(int32_t, const std::string&,
                                    const std::string&, int32_t, std::string&) {
  return " 0";
}
std::string Module1::GetArchiveText(int32_t, const std::string&, std::string&) {
  return " 0";
}

}  // namespace tavrolin
