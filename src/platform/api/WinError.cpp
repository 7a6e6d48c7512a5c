#include "platform/api/WinError.h"

namespace tarnel::platform {

namespace {
thread_local uint32_t lastError = kErrorSuccess;
}

uint32_t GetLastError() { return lastError; }
void SetLastError(uint32_t error) { lastError = error; }

}  // namespace tarnel::platform
