// A sign of life from long work. The report builders call Advance() between
// the items of a report; the platform turns it into whatever keeps a
// supervisor (the service manager's watchdog) from taking the service for
// hung. Nothing calls it while one historian call runs, so a call that never
// returns starves the watchdog.
#pragma once

#include <string>

namespace tavrolin {

class Progress {
 public:
  virtual ~Progress() = default;
  // Cheap enough to call once per item; the platform limits how often it
  // passes the sign on.
  virtual void Advance() = 0;

  // What a supervisor names when it gives up on the service: the report
  // being built from Started() to Finished(), and the historian function
  // about to be called (a literal that lives as long as the program).
  virtual void Started(const std::string& /*report*/) {}
  virtual void Finished() {}
  virtual void Calling(const char* /*function*/) {}
};

// A Progress that tells nobody, for work outside a supervised service.
class NoProgress : public Progress {
 public:
  void Advance() override {}
};

}  // namespace tavrolin
