// The platform headers compile in one translation unit with the system's
// own <windows.h> and <vfw.h>, and every constant they share with them has
// the system's value. Built (not run) with MinGW-w64 by the test suite.
#include <windows.h>
#include <vfw.h>

#include "platform/api/Ansi.h"
#include "platform/api/Backend.h"
#include "platform/api/CodecManager.h"
#include "platform/api/OsVersion.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "platform/api/VersionApi.h"
#include "platform/api/WinError.h"

namespace p = tarnel::platform;

static_assert(p::kIcModeCompress == ICMODE_COMPRESS);
static_assert(p::kIcModeDecompress == ICMODE_DECOMPRESS);
static_assert(p::kIcModeFastDecompress == ICMODE_FASTDECOMPRESS);
static_assert(p::kIcModeQuery == ICMODE_QUERY);
static_assert(p::kIcModeFastCompress == ICMODE_FASTCOMPRESS);
static_assert(p::kIcModeDraw == ICMODE_DRAW);
static_assert(p::kIcmReservedLow == ICM_RESERVED_LOW);
static_assert(p::kIcmGetInfo == ICM_GETINFO);
static_assert(p::kIcmConfigure == ICM_CONFIGURE);
static_assert(p::kIcmAbout == ICM_ABOUT);
static_assert(p::kIcErrOk == ICERR_OK);
static_assert(p::kIcErrUnsupported == ICERR_UNSUPPORTED);
static_assert(p::kIcErrBadHandle == ICERR_BADHANDLE);
static_assert(p::kMmsysErrInvalParam == MMSYSERR_INVALPARAM);
static_assert(sizeof(p::ICINFO) == sizeof(::ICINFO));
static_assert(offsetof(p::ICINFO, szName) == offsetof(::ICINFO, szName));
static_assert(offsetof(p::ICINFO, szDescription) == offsetof(::ICINFO, szDescription));
static_assert(offsetof(p::ICINFO, szDriver) == offsetof(::ICINFO, szDriver));

static_assert(p::kRegNone == REG_NONE && p::kRegSz == REG_SZ && p::kRegExpandSz == REG_EXPAND_SZ);
static_assert(p::kRegBinary == REG_BINARY && p::kRegDword == REG_DWORD && p::kRegLink == REG_LINK);
static_assert(p::kRegDwordBigEndian == REG_DWORD_BIG_ENDIAN);
static_assert(p::kRegMultiSz == REG_MULTI_SZ && p::kRegQword == REG_QWORD);
static_assert(p::kKeyRead == KEY_READ && p::kKeyAllAccess == KEY_ALL_ACCESS);
static_assert(p::kRegCreatedNewKey == REG_CREATED_NEW_KEY && p::kRegOpenedExistingKey == REG_OPENED_EXISTING_KEY);

static_assert(p::kVerPlatformWin32s == VER_PLATFORM_WIN32s);
static_assert(p::kVerPlatformWin32Windows == VER_PLATFORM_WIN32_WINDOWS);
static_assert(p::kVerPlatformWin32Nt == VER_PLATFORM_WIN32_NT);
static_assert(sizeof(p::OSVERSIONINFOEXA) == sizeof(::OSVERSIONINFOEXA));
static_assert(p::kOsVersionInfoSize == sizeof(::OSVERSIONINFOA));

static_assert(p::kErrorSuccess == ERROR_SUCCESS && p::kErrorFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(p::kErrorPathNotFound == ERROR_PATH_NOT_FOUND && p::kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(p::kErrorInvalidHandle == ERROR_INVALID_HANDLE && p::kErrorNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY);
static_assert(p::kErrorBadFormat == ERROR_BAD_FORMAT && p::kErrorWriteProtect == ERROR_WRITE_PROTECT);
static_assert(p::kErrorSharingViolation == ERROR_SHARING_VIOLATION && p::kErrorHandleDiskFull == ERROR_HANDLE_DISK_FULL);
static_assert(p::kErrorInvalidParameter == ERROR_INVALID_PARAMETER && p::kErrorDiskFull == ERROR_DISK_FULL);
static_assert(p::kErrorInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER && p::kErrorInvalidName == ERROR_INVALID_NAME);
static_assert(p::kErrorBadExeFormat == ERROR_BAD_EXE_FORMAT && p::kErrorMoreData == ERROR_MORE_DATA);
static_assert(p::kErrorNoMoreItems == ERROR_NO_MORE_ITEMS && p::kErrorBadPathname == ERROR_BAD_PATHNAME);
static_assert(p::kErrorResourceDataNotFound == ERROR_RESOURCE_DATA_NOT_FOUND);
static_assert(p::kErrorResourceTypeNotFound == ERROR_RESOURCE_TYPE_NOT_FOUND);
static_assert(p::kErrorKeyDeleted == ERROR_KEY_DELETED && p::kErrorBadDbFormat == ERROR_BADDB);
static_assert(p::kErrorRegistryIoFailed == ERROR_REGISTRY_IO_FAILED);

// The Windows-shaped calls are declared beside the system's own; both can
// be named in one place.
[[maybe_unused]] static auto* const kOurs = &p::RegOpenKeyExA;
[[maybe_unused]] static auto* const kTheirs = &::RegOpenKeyExA;
