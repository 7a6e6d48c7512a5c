// The hive's tree as its parts see it: the index of names a wide key keeps,
// the slot of a value that left the text, and what a key keeps beside its
// few fields. Only the hive's own files include this.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/machine/WineHive.h"
#include "platform/machine/WineHiveText.h"

namespace tarnel::platform::wine {

using namespace hivetext;

// Counts a change of any hive's key tree.
void TreeChanged();

// Open addressing over entry numbers, hashed on the ASCII-lowered name.
class NameIndex {
public:
    bool Valid() const { return !slots_.empty(); }
    void Clear() {
        std::vector<uint32_t>().swap(slots_);
        size_ = 0;
    }
    void Reset(size_t expected) {
        size_t n = 16;
        while (n < expected * 2 + 2) n *= 2;
        slots_.assign(n, 0);
        size_ = 0;
    }

    template <class NameOf>
    int Find(std::string_view name, const NameOf& nameOf) const {
        size_t mask = slots_.size() - 1;
        for (size_t i = HashName(name) & mask;; i = (i + 1) & mask) {
            uint32_t e = slots_[i];
            if (!e) return -1;
            if (SameName(nameOf(e - 1), name)) return int(e - 1);
        }
    }

    template <class NameOf>
    void Insert(uint32_t entry, const NameOf& nameOf) {
        if ((size_ + 1) * 2 > slots_.size()) {
            std::vector<uint32_t> old;
            old.swap(slots_);
            slots_.assign(std::max<size_t>(old.size() * 2, 16), 0);
            for (uint32_t e : old)
                if (e) Place(e, HashName(nameOf(e - 1)));
        }
        Place(entry + 1, HashName(nameOf(entry)));
        ++size_;
    }

    // Backward-shift deletion keeps every probe chain whole.
    template <class NameOf>
    void Erase(uint32_t entry, const NameOf& nameOf) {
        size_t mask = slots_.size() - 1;
        size_t i = HashName(nameOf(entry)) & mask;
        while (slots_[i] != entry + 1) {
            if (!slots_[i]) return;
            i = (i + 1) & mask;
        }
        --size_;
        size_t j = i;
        for (;;) {
            slots_[i] = 0;
            for (;;) {
                j = (j + 1) & mask;
                if (!slots_[j]) return;
                size_t home = HashName(nameOf(slots_[j] - 1)) & mask;
                bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
                if (!stays) break;
            }
            slots_[i] = slots_[j];
            i = j;
        }
    }

private:
    void Place(uint32_t e, uint32_t hash) {
        size_t mask = slots_.size() - 1;
        size_t i = hash & mask;
        while (slots_[i]) i = (i + 1) & mask;
        slots_[i] = e;
    }

    std::vector<uint32_t> slots_;  // entry + 1; 0 is empty
    size_t size_ = 0;
};

// A value whose name needed decoding, that was repeated, changed or made new.
struct Hive::Slot {
    uint32_t index = 0;
    std::string name;
    std::vector<uint8_t> data;          // once changed
    const char* raw = nullptr;          // its place in the source; null: new
    uint32_t rawLength = 0;
    const char* src = nullptr;          // the text its data is read from while unchanged
    uint32_t srcLength = 0;
    bool changed = false;
    bool dead = false;
    bool srcMalformed = false;
    bool repeated = false;              // shadow records point here
};

struct HiveKey::Extra {
    std::vector<HiveValue> own;  // the records, once they left the shared array
    bool detached = false;
    uint32_t droppable = 0;      // deleted records with no text to hide
    NameIndex values;            // record numbers of live values
    NameIndex children;          // child positions
    std::vector<uint32_t> order; // live records in enumeration order
    bool orderValid = false;
    uint32_t lastSection = 0;    // + 1, for a key with more than one section
    uint32_t firstMention = 0;   // + 1, when a subkey's section named it before its own
    uint32_t classLine = 0;      // + 1: offset of the "#class" line in force
};

}  // namespace tarnel::platform::wine
