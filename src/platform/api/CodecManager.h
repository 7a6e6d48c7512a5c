// The video compression manager of the machine: finds a codec through the
// live "vidc.<FOURCC>" driver entry and talks to its driver file.
#pragma once

#include <cstdint>
#include <functional>
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

inline constexpr uint32_t kIcmGetInfo = 0x4002;
inline constexpr uint32_t kIcmConfigure = 0x500A;
inline constexpr uint32_t kIcmAbout = 0x500B;
inline constexpr intptr_t kIcErrOk = 0;
inline constexpr intptr_t kIcErrUnsupported = -1;

// Opens the codec of (type, handler) as the live driver store names it at
// this moment. 0 when there is no entry, the file is missing or not a PE
// image, or the driver refuses the FOURCC.
HIC ICOpen(uint32_t fccType, uint32_t fccHandler, uint32_t mode);
// Fills up to cb bytes of the record; returns the bytes filled (0 for a null handle).
uint32_t ICGetInfo(HIC hic, ICINFO* info, uint32_t cb);
intptr_t ICSendMessage(HIC hic, uint32_t msg, intptr_t p1, intptr_t p2);
intptr_t ICClose(HIC hic);

// Where a driver's own dialogs appear. The windows install one that shows a
// real dialog; without one, the dialog is taken as shown and closed at once.
enum class CodecDialogKind { Configure, About };
using CodecDialogHandler =
    std::function<void(CodecDialogKind kind, const std::string& title, const std::string& text)>;
void SetCodecDialogHandler(CodecDialogHandler handler);

// What a driver file says of itself (the CODECINFO resource), or the plain
// answer of a PE file without it.
struct CodecSelfDescription {
    bool described = false;       // the file carries the resource
    std::string name;             // ANSI, at most 15 characters
    std::string description;      // ANSI, at most 127 characters
    std::string fourccs;          // comma-separated, lower case; empty = every FOURCC
    bool configure = false, about = false;
    std::string configureText, aboutText;
    uint32_t flags = 0, version = 0;
};
// Parses the text of a CODECINFO resource (see the README for the format).
CodecSelfDescription ParseCodecInfoText(const std::string& text);

}  // namespace tarnel::platform
