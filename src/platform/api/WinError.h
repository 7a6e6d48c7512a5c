// The system error codes the Windows-shaped calls answer with, and the
// calling thread's last error, as Windows keeps them. Named so that they
// compile beside <windows.h>.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tarnel::platform {

inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorPathNotFound = 3;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorNotEnoughMemory = 8;
inline constexpr uint32_t kErrorBadFormat = 11;
inline constexpr uint32_t kErrorInvalidData = 13;
inline constexpr uint32_t kErrorWriteProtect = 19;
inline constexpr uint32_t kErrorSharingViolation = 32;
inline constexpr uint32_t kErrorHandleDiskFull = 39;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorDiskFull = 112;
inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kErrorInvalidName = 123;
inline constexpr uint32_t kErrorBadExeFormat = 193;
inline constexpr uint32_t kErrorMoreData = 234;
inline constexpr uint32_t kErrorNoMoreItems = 259;
inline constexpr uint32_t kErrorResourceDataNotFound = 1812;
inline constexpr uint32_t kErrorResourceTypeNotFound = 1813;
inline constexpr uint32_t kErrorResourceNameNotFound = 1814;
inline constexpr uint32_t kErrorFileTooLarge = 223;
inline constexpr uint32_t kErrorFilenameTooLong = 206;            // ERROR_FILENAME_EXCED_RANGE
inline constexpr uint32_t kErrorCantResolveFilename = 1921;       // a link that loops
inline constexpr uint32_t kErrorBadPathname = 161;
inline constexpr uint32_t kErrorKeyDeleted = 1018;
inline constexpr uint32_t kErrorBadDbFormat = 1009;  // ERROR_BADDB: a hive that does not parse
inline constexpr uint32_t kErrorRegistryIoFailed = 1016;

uint32_t GetLastError();
void SetLastError(uint32_t error);

// Inside a backend a call that fails throws this: the code Windows answers
// with and, where there is more to say, words naming the file or key at fault.
class EWinError : public std::runtime_error {
public:
    explicit EWinError(uint32_t code, std::string detail = {})
        : std::runtime_error(detail.empty() ? "Windows error " + std::to_string(code) : detail),
          code_(code),
          detail_(std::move(detail)) {}
    // A message of its own beside the detail a caller words its text with.
    EWinError(uint32_t code, const std::string& message, std::string detail)
        : std::runtime_error(message), code_(code), detail_(std::move(detail)) {}
    uint32_t Code() const { return code_; }
    const std::string& Detail() const { return detail_; }

private:
    uint32_t code_;
    std::string detail_;
};

// The API's edge, the one place where a backend's exceptions become Windows
// error codes: runs `call` and answers kErrorSuccess, or the code of the
// EWinError it threw; any other failure answers `otherwise`. What the
// failure said is kept in `detail` (emptied on success).
template <class Call>
long AtApiEdge(std::string& detail, uint32_t otherwise, Call&& call) noexcept {
    try {
        call();
        detail.clear();
        return long(kErrorSuccess);
    } catch (const EWinError& e) {
        detail = e.Detail();
        return long(e.Code());
    } catch (const std::exception& e) {
        detail = e.what();
    } catch (...) {
        detail.clear();
    }
    return long(otherwise);
}

}  // namespace tarnel::platform
