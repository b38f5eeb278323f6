// What a report run needs besides its files.
#pragma once

#include <cstddef>

#include "historian/module1.h"
#include "platform/code_page.h"
#include "platform/date_settings.h"
#include "platform/progress.h"
#include "platform/report_file.h"

namespace tavrolin {

struct ReportServices {
  Module1& readers;
  Clock& clock;
  const DateSettings& date_settings;
  const CodePage& code_page;
  ReportFileWriter& writer;
  // Told of every item built; nothing when left out.
  Progress* progress = nullptr;
  // Values the builders have put into their documents; the host sets it to
  // 0 before a report and reads it after, for the service's status line.
  std::size_t values_written = 0;

  void Advance() const {
    if (progress != nullptr) progress->Advance();
  }
};

}  // namespace tavrolin
