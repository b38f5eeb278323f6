#include "simulator/core/data_source.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace tavrolin::simulator {

DataSource::DataSource(std::function<std::filesystem::path()> default_path,
                       std::ostream& messages)
    : default_path_(std::move(default_path)), messages_(messages) {}

std::filesystem::path DataSource::Path() const {
  const char* variable = std::getenv(kDataVariable);
  if (variable != nullptr && *variable != '\0') {
    return std::filesystem::path(variable);
  }
  return default_path_();
}

const SimulatedHistorian& DataSource::Current() {
  const std::filesystem::path path = Path();
  std::error_code error;
  std::string key = path.string();
  const auto size = std::filesystem::file_size(path, error);
  if (!error) {
    const auto written = std::filesystem::last_write_time(path, error);
    if (!error) {
      key += "|" + std::to_string(size) + "|" +
             std::to_string(written.time_since_epoch().count());
    }
  }
  if (error) key += "|unreadable";
  if (!loaded_ || key != key_) {
    loaded_ = true;
    key_ = key;
    Load(path);
  }
  return historian_;
}

void DataSource::Load(const std::filesystem::path& path) {
  historian_ = SimulatedHistorian();
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (!in || in.bad()) {
    messages_ << kMessagePrefix << "cannot read the data file " << path.string()
              << " (set " << kDataVariable
              << " to the data file); no points are known" << std::endl;
    return;
  }
  try {
    historian_ = SimulatedHistorian(ParseData(text.str()));
  } catch (const DataError& e) {
    messages_ << kMessagePrefix << path.string() << ", line " << e.line()
              << ": " << e.what() << "; the file is not used and no points "
              << "are known" << std::endl;
  }
}

}  // namespace tavrolin::simulator
