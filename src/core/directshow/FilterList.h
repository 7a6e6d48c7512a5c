// The registered DirectShow filters as rows of five texts, read from the
// filter category under the classes root. The DirectShow window shows
// them; tarnelctl prints them.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/catalogue/FileVersionInfo.h"

namespace tarnel {

// Column positions of a filter row; the caption column comes first.
enum TFilterColumn : size_t {
    fcFilter = 0, fcFile = 1, fcDescription = 2, fcVersion = 3, fcCompany = 4,
    fcCount = 5
};
extern const char* const cFilterColumns[fcCount];

struct TFilterRow {
    std::string Filter;       // the filter's "FriendlyName"
    std::string File;         // its server's default value, exactly as stored
    std::string Description;  // FileDescription of that file
    std::string Version;      // FileVersion
    std::string Company;      // CompanyName ("[Not Defined]" without a version resource)

    const std::string& Text(size_t column) const;
};

// Appends one row per registered filter that has a "FriendlyName", in the
// order the registry lists them, reading each server file's version
// through `versionInfo`. The whole reading is one read transaction.
//
// A "FriendlyName", "CLSID" or server default value that is not text ends
// the filling with the registry's ERegistryException ("Invalid data type
// for '%s'"). The rows appended before stay in `rows`; a row whose "CLSID"
// or server value failed was already appended and keeps its name only.
void FillFilterList(TFileVersionInfo& versionInfo, std::vector<TFilterRow>& rows);

// The four columns after "Filter" never shrink below this (pixels at 96
// dots per inch), so that a very long filter name pushes them out of sight
// rather than making them vanish.
inline constexpr int cLeastSharedFilterColumn = 30;

// The columns' widths in a list `room` pixels wide inside: "Filter" as wide
// as its widest text, the other four sharing the rest alike (the last one
// taking what the division leaves over), none of them under `leastShared`.
std::array<int, fcCount> FilterColumnWidths(int filterWidth, int room, int leastShared);

}  // namespace tarnel
