// Declarations of the historian client library's functions that the program
// calls, bound at run time: the client library (piapi32) and its login
// library (pilog32). Each library is loaded at the first call of one of its
// functions; each function is bound at its first call and stays bound.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/calling_convention.h"
#include "platform/dynamic_library.h"
#include "platform/progress.h"

namespace tavrolin {

// The function that only the project's historian simulator exports: a client
// library that has it is the simulator.
inline constexpr char kSimulatorMarker[] = "tavrolin_simulator_version";

// The client library file the loader found, and whether it is the simulator.
struct HistorianLibraryFile {
  std::string path;
  bool simulator = false;
};

class basPI_API {
 public:
  // `progress`, when given, is told the name of every function before it is
  // called, so that a watchdog can name a call that does not return.
  basPI_API(LibraryLoader& loader, HistorianLibraryNames names,
            Progress* progress = nullptr);
  ~basPI_API();
  basPI_API(const basPI_API&) = delete;
  basPI_API& operator=(const basPI_API&) = delete;

  // Which file the client library is, once a call has loaded it; nothing
  // before: asking loads nothing, so that the library's own start-up code
  // runs at the first call into it.
  std::optional<HistorianLibraryFile> LoadedClientLibraryFile();

  // Login library.
  int32_t pilg_registerapp(const char* dll_name);

  // Client library. Pointer arguments are cells the library may write.
  int32_t pipt_findpoint(char* tag_name, int32_t* point_number);
  int32_t pisn_getsnapshot(int32_t point_number, float* value, int32_t* status,
                           int32_t* time);
  int32_t pipt_digstate(int32_t state_code, char* state, int32_t length);
  int32_t pitm_systime();
  int32_t pitm_parsetime(const char* time_text, int32_t base_time,
                         int32_t* time);
  int32_t piar_summary(int32_t point_number, int32_t* start_time,
                       int32_t* end_time, float* value, float* percent_good,
                       int32_t code);
  int32_t piar_value(int32_t point_number, int32_t* time, int32_t mode,
                     float* value, int32_t* status);

 private:
  class Library;
  template <typename Function>
  Function Bind(Library& library, Function& slot, const char* name);

  std::string client_name_;
  std::unique_ptr<Library> client_;
  std::unique_ptr<Library> login_;
  Progress* progress_;

  using RegisterApp = int32_t(PIAPI_CALL*)(const char*);
  using FindPoint = int32_t(PIAPI_CALL*)(char*, int32_t*);
  using GetSnapshot = int32_t(PIAPI_CALL*)(int32_t, float*, int32_t*, int32_t*);
  using DigState = int32_t(PIAPI_CALL*)(int32_t, char*, int32_t);
  using SysTime = int32_t(PIAPI_CALL*)();
  using ParseTime = int32_t(PIAPI_CALL*)(const char*, int32_t, int32_t*);
  using Summary = int32_t(PIAPI_CALL*)(int32_t, int32_t*, int32_t*, float*,
                                       float*, int32_t);
  using ArchiveValue = int32_t(PIAPI_CALL*)(int32_t, int32_t*, int32_t, float*,
                                            int32_t*);

  RegisterApp registerapp_ = nullptr;
  FindPoint findpoint_ = nullptr;
  GetSnapshot getsnapshot_ = nullptr;
  DigState digstate_ = nullptr;
  SysTime systime_ = nullptr;
  ParseTime parsetime_ = nullptr;
  Summary summary_ = nullptr;
  ArchiveValue value_ = nullptr;
};

}  // namespace tavrolin
