#include "historian/basPI_API.h"

#include <utility>

#include "platform/error.h"

namespace tavrolin {

// One library, loaded on demand. A failed load is tried again at the next
// call, and raises again while the library cannot be loaded.
class basPI_API::Library {
 public:
  Library(LibraryLoader& loader, std::string name)
      : loader_(loader), name_(std::move(name)) {}

  DynamicLibrary* IfLoaded() const { return library_.get(); }

  DynamicLibrary& Loaded() {
    if (!library_) library_ = loader_.Load(name_);
    return *library_;
  }

  void* Symbol(const char* function) {
    void* address = Loaded().Symbol(function);
    if (address == nullptr) {
      throw Error(errnum::kEntryPoint, std::string("Can't find DLL entry "
                                                   "point ") +
                                           function + " in " + name_);
    }
    return address;
  }

 private:
  LibraryLoader& loader_;
  std::string name_;
  std::unique_ptr<DynamicLibrary> library_;
};

basPI_API::basPI_API(LibraryLoader& loader, HistorianLibraryNames names,
                     Progress* progress)
    : client_name_(names.client),
      client_(std::make_unique<Library>(loader, std::move(names.client))),
      login_(std::make_unique<Library>(loader, std::move(names.login))),
      progress_(progress) {}

basPI_API::~basPI_API() = default;

template <typename Function>
Function basPI_API::Bind(Library& library, Function& slot, const char* name) {
  // Said before the library is loaded too: loading runs the library's own
  // start-up code, which can hang as well as any of its functions.
  if (progress_ != nullptr) progress_->Calling(name);
  if (slot == nullptr) {
    slot = reinterpret_cast<Function>(library.Symbol(name));
  }
  return slot;
}

std::optional<HistorianLibraryFile> basPI_API::LoadedClientLibraryFile() {
  DynamicLibrary* library = client_->IfLoaded();
  if (library == nullptr) return std::nullopt;
  std::string path = library->FilePath();
  return HistorianLibraryFile{path.empty() ? client_name_ : std::move(path),
                              library->Symbol(kSimulatorMarker) != nullptr};
}

int32_t basPI_API::pilg_registerapp(const char* dll_name) {
  return Bind(*login_, registerapp_, "pilg_registerapp")(dll_name);
}

int32_t basPI_API::pipt_findpoint(char* tag_name, int32_t* point_number) {
  return Bind(*client_, findpoint_, "pipt_findpoint")(tag_name, point_number);
}

int32_t basPI_API::pisn_getsnapshot(int32_t point_number, float* value,
                                    int32_t* status, int32_t* time) {
  return Bind(*client_, getsnapshot_, "pisn_getsnapshot")(point_number, value,
                                                          status, time);
}

int32_t basPI_API::pipt_digstate(int32_t state_code, char* state,
                                 int32_t length) {
  return Bind(*client_, digstate_, "pipt_digstate")(state_code, state, length);
}

int32_t basPI_API::pitm_systime() {
  return Bind(*client_, systime_, "pitm_systime")();
}

int32_t basPI_API::pitm_parsetime(const char* time_text, int32_t base_time,
                                  int32_t* time) {
  return Bind(*client_, parsetime_, "pitm_parsetime")(time_text, base_time,
                                                      time);
}

int32_t basPI_API::piar_summary(int32_t point_number, int32_t* start_time,
                                int32_t* end_time, float* value,
                                float* percent_good, int32_t code) {
  return Bind(*client_, summary_, "piar_summary")(
      point_number, start_time, end_time, value, percent_good, code);
}

int32_t basPI_API::piar_value(int32_t point_number, int32_t* time, int32_t mode,
                              float* value, int32_t* status) {
  return Bind(*client_, value_, "piar_value")(point_number, time, mode, value,
                                              status);
}

}  // namespace tavrolin
