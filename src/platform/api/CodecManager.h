// The video compression manager (msvfw32): finds a codec through the live
// "vidc.<FOURCC>" driver entry and talks to its driver.
#pragma once

#include <cstdint>
#include <string>

namespace tarnel::platform {

using HIC = uintptr_t;  // 0 is the null handle

#pragma pack(push, 4)
struct ICINFO {
    uint32_t dwSize;
    uint32_t fccType;
    uint32_t fccHandler;
    uint32_t dwFlags;
    uint32_t dwVersion;
    uint32_t dwVersionICM;
    char16_t szName[16];
    char16_t szDescription[128];
    char16_t szDriver[128];
};
#pragma pack(pop)
static_assert(sizeof(ICINFO) == 568, "ICINFO is 568 bytes");

inline constexpr uint32_t kIcModeCompress = 1;
inline constexpr uint32_t kIcModeDecompress = 2;
inline constexpr uint32_t kIcModeFastDecompress = 3;
inline constexpr uint32_t kIcModeQuery = 4;
inline constexpr uint32_t kIcModeFastCompress = 5;
inline constexpr uint32_t kIcModeDraw = 8;

// ICM_USER is DRV_USER (0x4000); the standard messages start at
// ICM_RESERVED_LOW = ICM_USER + 0x1000.
inline constexpr uint32_t kIcmReservedLow = 0x5000;
inline constexpr uint32_t kIcmGetInfo = kIcmReservedLow + 2;
inline constexpr uint32_t kIcmConfigure = kIcmReservedLow + 10;
inline constexpr uint32_t kIcmAbout = kIcmReservedLow + 11;
inline constexpr intptr_t kIcErrOk = 0;
inline constexpr intptr_t kIcErrUnsupported = -1;
inline constexpr intptr_t kIcErrBadHandle = -8;
inline constexpr intptr_t kMmsysErrInvalParam = 11;  // MMSYSERR_INVALPARAM

// Opens the codec of (type, handler) as the live driver store names it at
// this moment. 0 when there is no entry, the file is missing, not a PE
// image or exports no DriverProc, or the driver refuses the FOURCC. A
// handler of 0 opens the first codec of the store's entries, in their
// order, that opens.
HIC ICOpen(uint32_t fccType, uint32_t fccHandler, uint32_t mode);
// Fills the record and returns its size; with no record, returns
// kMmsysErrInvalParam; with cb below the record's size, fills nothing and
// returns 0; a null or closed handle gives kIcErrBadHandle, as
// ICSendMessage and ICClose do.
intptr_t ICGetInfo(HIC hic, ICINFO* info, uint32_t cb);
intptr_t ICSendMessage(HIC hic, uint32_t msg, intptr_t p1, intptr_t p2);
intptr_t ICClose(HIC hic);

}  // namespace tarnel::platform
