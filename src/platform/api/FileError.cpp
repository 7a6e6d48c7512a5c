#include "platform/api/FileError.h"

#include <cstring>

namespace fs = std::filesystem;

namespace tarnel::platform {

EFileError::EFileError(fs::path file, const std::string& what, int error)
    : EFileError(std::move(file), what, std::strerror(error), error) {}

EFileError::EFileError(fs::path file, const std::string& what, std::string reason, int error)
    : std::runtime_error(what + " '" + file.string() + "': " + reason),
      file_(std::move(file)),
      reason_(std::move(reason)),
      error_(error) {}

}  // namespace tarnel::platform
