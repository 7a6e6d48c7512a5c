// A file could not be read or written: the one error of file access every
// backend throws, worded by the platform, naming the file.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace tarnel::platform {

// A file could not be read or written; the message names it.
// When the failure concerns one file, File() names it and Reason() gives the
// system's own words for the cause (strerror text, e.g. "No space left on
// device"), so that a caller can word its own message around them.
class EFileError : public std::runtime_error {
public:
    explicit EFileError(const std::string& message) : std::runtime_error(message) {}
    // "<what> '<file>': <strerror(error)>"
    EFileError(std::filesystem::path file, const std::string& what, int error);
    // "<what> '<file>': <reason>", for causes the system did not report itself.
    EFileError(std::filesystem::path file, const std::string& what, std::string reason, int error);
    // A message worded by the caller, about `file`.
    static EFileError Worded(std::string message, std::filesystem::path file, std::string reason, int error);
    // The same error told of another path to the same file (the message with
    // every mention of `from` replaced by `to`).
    EFileError Moved(const std::filesystem::path& from, const std::filesystem::path& to) const;

    const std::filesystem::path& File() const { return file_; }
    const std::string& Reason() const { return reason_; }
    int ErrorNumber() const { return error_; }  // errno, 0 when none

private:
    std::filesystem::path file_;
    std::string reason_;
    int error_ = 0;
};

}  // namespace tarnel::platform
