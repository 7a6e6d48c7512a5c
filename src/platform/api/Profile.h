// The profile-file calls on the machine's SYSTEM.INI.
#pragma once

#include <cstdint>
#include <string>

namespace tarnel::platform {

// Copies the section's lines ("key=value", or the bare text of a line that
// holds no '='), each ended by a zero byte, plus one final zero byte. Comment
// lines (';') and blank lines are skipped. Returns the bytes stored without
// the final zero; when the buffer is too small the last line is cut and the
// result is size - 2, as Windows does. `file` names the profile file; a name
// without a directory means the machine's Windows folder.
uint32_t GetPrivateProfileSectionA(const char* section, char* buffer, uint32_t size,
                                   const char* file);

// Writes key=value into the section (created at the end of the file when
// missing; a new key is appended after the section's last entry); a null
// value deletes the key's line, a null key deletes the whole section. Keys
// match without regard to case. Everything else in the file is kept byte for
// byte. Returns false when the file cannot be written.
bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* file);

// Reads one key's value (trimmed), or `def` when missing.
uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                                  char* buffer, uint32_t size, const char* file);

}  // namespace tarnel::platform
