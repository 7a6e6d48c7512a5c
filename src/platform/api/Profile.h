// The profile-file calls on the machine's SYSTEM.INI.
#pragma once

#include <cstdint>
#include <string>

namespace tarnel::platform {

// How the profile calls read a file: lines end at CR or LF; a line is trimmed
// of blanks; "[name]" starts a section (the first of a name is the one used);
// other lines are entries, "key=value" or a bare key without '='. A zero byte
// ends the key's or the value's text where it stands (the rest of that
// physical line is kept in the file but never read). Sections and keys match
// without regard to case.
//
// `file` names the profile file: a name without a folder is in the machine's
// Windows folder; "C:\..." or "\..." (either separator) is a file of drive C:.
// A file that cannot be read (a folder, a FIFO, a device, more than 1 GiB)
// throws EFileError naming it from the reading calls.

// Copies the section's lines ("key=value" with the value as stored, or the
// bare key of a line that holds no '='), each ended by a zero byte, plus one
// final zero byte. Comment lines (';') and lines without a key are skipped.
// Returns the bytes stored without the final zero; when the buffer is too
// small the last line is cut, the buffer ends with two zero bytes and the
// result is size - 2, as Windows does.
uint32_t GetPrivateProfileSectionA(const char* section, char* buffer, uint32_t size,
                                   const char* file);

// Writes key=value into the section (created at the end of the file when
// missing; a new key is appended after the section's last entry); a null
// value deletes the key's line, a null key deletes the whole section. Keys
// match without regard to case. Everything else in the file is kept byte for
// byte. Returns false (and sets the last error) when the file cannot be written.
bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* file);

// Reads one key's value (trimmed, without one pair of enclosing quotes, " or
// ', when both ends match), or `def` (trailing spaces dropped, quotes as for
// a value) when the key is missing or its line has no '='. An empty key
// gives nothing. The text is cut to size - 1 bytes; returns its length.
uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                                  char* buffer, uint32_t size, const char* file);

}  // namespace tarnel::platform
