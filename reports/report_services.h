// What a report run needs besides its files.
#pragma once

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

  void Advance() const {
    if (progress != nullptr) progress->Advance();
  }
};

}  // namespace tavrolin
