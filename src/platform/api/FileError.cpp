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

EFileError EFileError::Worded(std::string message, fs::path file, std::string reason, int error) {
    EFileError e(std::move(message));
    e.file_ = std::move(file);
    e.reason_ = std::move(reason);
    e.error_ = error;
    return e;
}

EFileError EFileError::Moved(const fs::path& from, const fs::path& to) const {
    auto replace = [&](std::string text) {
        const std::string a = from.string(), b = to.string();
        for (size_t at = text.find(a); !a.empty() && at != std::string::npos; at = text.find(a, at + b.size()))
            text.replace(at, a.size(), b);
        return text;
    };
    return Worded(replace(what()), replace(file_.string()), reason_, error_);
}

}  // namespace tarnel::platform
