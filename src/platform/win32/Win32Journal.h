// The undo journal of the win32 backend's transactions: what each change
// replaced, kept in memory and in the registry before the change is made,
// so that a rollback, a savepoint's rollback, or the next writer after a
// writer died, can put everything back. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tarnel::platform::win32 {

// The registry view (KEY_WOW64_32KEY or KEY_WOW64_64KEY, or 0 for the
// process's own) every change recorded from now on is made in.
void SetJournalView(REGSAM view);

class TUndoJournal {
public:
    TUndoJournal() = default;
    ~TUndoJournal();
    TUndoJournal(const TUndoJournal&) = delete;
    TUndoJournal& operator=(const TUndoJournal&) = delete;

    // Each Record* call keeps what the coming change replaces; call it
    // before the change. `root` is a predefined key, `path` below it.
    // The value's data, type, or its absence.
    void RecordValue(HKEY root, const std::wstring& path, const std::wstring& name);
    // A key the change will create (it does not exist now).
    void RecordKeyCreated(HKEY root, const std::wstring& path);
    // A key the change will delete, with its values.
    void RecordKeyDeleted(HKEY root, const std::wstring& path);
    // One profile entry, or a whole section when `key` is null.
    void RecordProfile(const std::string& file, const std::string& section, const char* key);

    size_t Size() const { return records_.size(); }
    // Undoes the records from `mark` on, newest first, and forgets them.
    void UndoTo(size_t mark);
    // Forgets every record: the changes stand.
    void Drop();

    // Undoes what a writer that died left in the journal key; true when
    // there was something. Call it holding the writers' mutex.
    static bool UndoLeftOver();

private:
    void Keep(std::string record);
    static void Undo(const std::string& record);

    std::vector<std::string> records_;
    HKEY persisted_ = nullptr;  // the journal key, open while records are kept
};

}  // namespace tarnel::platform::win32
