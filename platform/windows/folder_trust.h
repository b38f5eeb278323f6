// Whether a file or folder can be changed by someone with fewer rights than
// the service: a historian library found there could run their code in the
// service's process.
#pragma once

#include <optional>
#include <string>

namespace tavrolin::windows {

// The first account, other than the system, the administrators, the
// installer service and the account this process runs as, that may write,
// delete or re-permission `path` (by its access control list or as its
// owner): "Everyone", "BUILTIN\Users", ... Nothing when there is none.
// Throws Error 70 naming the path when its permissions cannot be read.
std::optional<std::string> UntrustedWriter(const std::wstring& path);

}  // namespace tavrolin::windows
