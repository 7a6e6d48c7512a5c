// The hive's tree: keys, their values and subkeys, each value read from
// the text only when asked for.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "platform/machine/WineHiveTree.h"

namespace tarnel::platform::wine {

namespace {
std::atomic<uint64_t> treeChanges{1};
}  // namespace

void TreeChanged() { treeChanges.fetch_add(1, std::memory_order_relaxed); }
uint64_t KeyTreeChanges() { return treeChanges.load(std::memory_order_relaxed); }

// ---------------------------------------------------------------- HiveValue

std::string_view HiveValue::Name() const {
    if (bits_ & kSlot) return Hive::SlotOf(*this)->name;
    const char* t = static_cast<const char*>(ptr_);
    if (!t || *t == '@') return {};
    // A name kept in the text has neither quotes nor backslashes in it.
    const char* q = static_cast<const char*>(std::memchr(t + 1, '"', (bits_ & kLengthMask) - 1));
    return {t + 1, size_t(q - t - 1)};
}

bool HiveValue::NameIs(std::string_view name) const {
    if (bits_ & kSlot) return SameName(Hive::SlotOf(*this)->name, name);
    const char* t = static_cast<const char*>(ptr_);
    if (*t == '@') return name.empty();
    // A name kept in the text has no quote in it: meeting the closing one
    // early means the name is shorter.
    const char* n = t + 1;
    for (size_t i = 0; i < name.size(); ++i)
        if (n[i] == '"' || (n[i] != name[i] && Lower(n[i]) != Lower(name[i]))) return false;
    return n[name.size()] == '"';
}

const char* HiveValue::DataText(size_t* length) const {
    if (bits_ & kSlot) {
        auto* s = Hive::SlotOf(*this);
        if (s->srcMalformed || !s->src) return nullptr;
        *length = s->srcLength;
        return s->src;
    }
    if (bits_ & kMalformed) return nullptr;
    *length = bits_ & kLengthMask;
    return static_cast<const char*>(ptr_);
}

std::vector<uint8_t> HiveValue::Data() const {
    if ((bits_ & kSlot) && Hive::SlotOf(*this)->changed)
        return Hive::SlotOf(*this)->data;
    size_t length = 0;
    const char* text = DataText(&length);
    std::vector<uint8_t> out;
    if (!text) return out;
    // Text takes at least as many characters as the bytes it gives, but
    // for a string's two bytes per character.
    out.reserve(length * 2);
    ByteSink sink{out};
    DecodeValueText(text, length, sink);
    return out;
}

std::string HiveValue::DataBytes() const {
    std::string out;
    DataBytesInto(out);
    // Hex text gives a third of its length or less: a value kept by the
    // caller should not hold six times the room it needs.
    if (out.capacity() > 2 * out.size() + 32) out.shrink_to_fit();
    return out;
}

void HiveValue::DataBytesInto(std::string& out) const {
    if ((bits_ & kSlot) && Hive::SlotOf(*this)->changed) {
        const std::vector<uint8_t>& data = Hive::SlotOf(*this)->data;
        out.assign(data.begin(), data.end());
        return;
    }
    size_t length = 0;
    const char* text = DataText(&length);
    out.clear();
    if (!text) return;
    // Written through a cursor into room sized for the most the text can
    // give (see Data), then cut to what it gave: no check per byte.
    struct CursorSink {
        char* at;
        void Unit(char16_t u) {
            at[0] = char(u & 0xff);
            at[1] = char(u >> 8);
            at += 2;
        }
        void Byte(uint8_t b) { *at++ = char(b); }
    };
    out.resize(length * 2 + 2);
    CursorSink sink{out.data()};
    DecodeValueText(text, length, sink);
    out.resize(size_t(sink.at - out.data()));
}

size_t HiveValue::DataSize() const {
    if ((bits_ & kSlot) && Hive::SlotOf(*this)->changed)
        return Hive::SlotOf(*this)->data.size();
    size_t length = 0;
    const char* text = DataText(&length);
    if (!text) return 0;
    CountSink sink;
    DecodeValueText(text, length, sink);
    return sink.n;
}

// ---------------------------------------------------------------- KeyList

KeyList::~KeyList() { std::free(data_); }

void KeyList::push_back(HiveKey* key) {
    if (size_ == capacity_) {
        uint32_t capacity = capacity_ ? capacity_ * 2 : 2;
        auto* grown = static_cast<HiveKey**>(std::realloc(data_, capacity * sizeof(HiveKey*)));
        if (!grown) throw std::bad_alloc();
        data_ = grown;
        capacity_ = capacity;
    }
    data_[size_++] = key;
}

void KeyList::erase(size_t i) {
    std::memmove(data_ + i, data_ + i + 1, (size_ - i - 1) * sizeof(HiveKey*));
    --size_;
}

void KeyList::clear() {
    std::free(data_);
    data_ = nullptr;
    size_ = capacity_ = 0;
}

// ---------------------------------------------------------------- HiveKey

HiveKey::HiveKey(Hive& hive, HiveKey* parent, std::string_view name, uint16_t depth)
    : hive_(&hive), parent_(parent), name_(name.data()), nameLength_(uint32_t(name.size())), depth_(depth) {}

HiveKey::~HiveKey() = default;

HiveKey::Extra& HiveKey::Ensure() const {
    if (!extra_) extra_ = std::make_unique<Extra>();
    return *extra_;
}

HiveValue* HiveKey::Records() {
    return extra_ && extra_->detached ? extra_->own.data() : hive_->parsed_.get() + first_;
}

const HiveValue* HiveKey::Records() const {
    return extra_ && extra_->detached ? extra_->own.data() : hive_->parsed_.get() + first_;
}

std::vector<std::string> HiveKey::Path() const {
    std::vector<std::string> parts;
    for (const HiveKey* k = this; k->parent_; k = k->parent_) parts.emplace_back(k->Name());
    std::reverse(parts.begin(), parts.end());
    return parts;
}

uint32_t HiveKey::FirstMention() const {
    if (flags_ & kImplied) return section_;
    if (extra_ && extra_->firstMention) return extra_->firstMention;
    return section_;
}

uint32_t HiveKey::LastSection() const {
    if (!HasOwnSection()) return 0;
    if (extra_ && extra_->lastSection) return extra_->lastSection;
    return section_;
}

HiveKey* HiveKey::FindChild(std::string_view name) {
    if (children_.size() <= kIndexThreshold) {
        for (HiveKey* c : children_)
            if (SameName(c->Name(), name)) return c;
        return nullptr;
    }
    Extra& x = Ensure();
    auto nameOf = [this](uint32_t e) { return children_[e]->Name(); };
    if (!x.children.Valid()) {
        x.children.Reset(children_.size());
        for (uint32_t i = 0; i < children_.size(); ++i) x.children.Insert(i, nameOf);
    }
    int i = x.children.Find(name, nameOf);
    return i < 0 ? nullptr : children_[size_t(i)];
}

HiveKey& HiveKey::CreateChild(std::string_view name) {
    if (HiveKey* existing = FindChild(name)) return *existing;
    if (depth_ >= kMaxDepth)
        throw ERegistryException("Key '" + Shown(name) + "' would lie deeper than " + std::to_string(kMaxDepth) +
                                 " levels");
    HiveKey* child = hive_->NewKey(this, hive_->KeepName(name));
    child->Touch();
    return *child;
}

bool HiveKey::RemoveChild(std::string_view name) {
    HiveKey* child = FindChild(name);
    if (!child) return false;
    TreeChanged();
    children_.erase(size_t(std::find(children_.begin(), children_.end(), child) - children_.begin()));
    if (extra_) extra_->children.Clear();

    // The subtree leaves the tree and its sections the file; its memory is
    // given back, all but the keys themselves, which sections still name.
    Hive& hive = *hive_;
    std::vector<HiveKey*> stack{child};
    while (!stack.empty()) {
        HiveKey* k = stack.back();
        stack.pop_back();
        k->flags_ |= kRemoved;
        stack.insert(stack.end(), k->children_.begin(), k->children_.end());
        k->children_.clear();
        HiveValue* r = k->Records();
        for (uint32_t i = 0; i < k->count_; ++i)
            if ((r[i].bits_ & kSlot) && !Hive::SlotOf(r[i])->repeated)
                hive.FreeSlot(Hive::SlotOf(r[i])->index);
        k->extra_.reset();
        k->count_ = k->live_ = 0;
    }

    // A key first named by a section that is now gone gets a head of its own
    // there, so that reading the file again finds it in the same place.
    for (HiveKey* a = this; a; a = a->parent_) {
        uint32_t m = a->FirstMention();
        if (!m || (a->flags_ & kAnchored)) continue;
        const HiveKey* owner = hive.sections_[m - 1].key;
        if (owner != a && (owner->flags_ & kRemoved)) {
            a->flags_ |= kAnchored;
            hive.anchored_.push_back(a);
        }
    }
    // A key left without subkeys needs a section of its own to survive.
    if (parent_ && children_.empty()) EnsureSection();
    return true;
}

int HiveKey::FindRecord(std::string_view name) const {
    const HiveValue* r = Records();
    if (count_ <= kIndexThreshold) {
        for (uint32_t i = 0; i < count_; ++i)
            if (!(r[i].bits_ & (kDead | kShadow)) && r[i].NameIs(name)) return int(i);
        return -1;
    }
    Extra& x = Ensure();
    auto nameOf = [this](uint32_t e) { return Records()[e].Name(); };
    if (!x.values.Valid()) {
        x.values.Reset(live_);
        for (uint32_t i = 0; i < count_; ++i)
            if (!(r[i].bits_ & (kDead | kShadow))) x.values.Insert(i, nameOf);
    }
    return x.values.Find(name, nameOf);
}

void HiveKey::AppendRecord(const HiveValue& v) {
    Hive& hive = *hive_;
    if (!(extra_ && extra_->detached)) {
        // While the file is read, a key's values lie side by side in one
        // array; a key whose values do not (named twice, or changed) gets
        // an array of its own.
        if (hive.parsing_ && (count_ == 0 || first_ + count_ == hive.parsedSize_)) {
            if (count_ == 0) first_ = hive.parsedSize_;
            hive.PushParsed(v);
            ++count_;
            return;
        }
        Extra& x = Ensure();
        x.own.reserve(count_ + 1);
        x.own.assign(Records(), Records() + count_);
        x.detached = true;
    }
    extra_->own.push_back(v);
    count_ = uint32_t(extra_->own.size());
}

void HiveKey::IndexRecord(uint32_t index) {
    if (!extra_) return;
    if (extra_->values.Valid()) extra_->values.Insert(index, [this](uint32_t e) { return Records()[e].Name(); });
    if (extra_->orderValid) extra_->order.push_back(index);
}

const HiveValue* HiveKey::FindValue(std::string_view name) const {
    int i = FindRecord(name);
    return i < 0 ? nullptr : &Records()[size_t(i)];
}

void HiveKey::SetValue(std::string_view name, uint32_t type, std::vector<uint8_t> data) {
    Hive& hive = *hive_;
    int i = FindRecord(name);
    if (i >= 0) {
        HiveValue& v = Records()[size_t(i)];
        Hive::Slot* s;
        if (v.bits_ & kSlot) {
            s = Hive::SlotOf(v);
        } else {
            s = hive.slots_[hive.NewSlot()].get();
            s->name = v.Name();
            s->raw = static_cast<const char*>(v.ptr_);
            s->rawLength = v.bits_ & kLengthMask;
            v.ptr_ = s;
            v.bits_ = kSlot;
        }
        s->changed = true;
        s->data = std::move(data);
        s->src = nullptr;
        s->srcMalformed = false;
        v.type_ = type;
    } else {
        Hive::Slot* s = hive.slots_[hive.NewSlot()].get();
        s->name = std::string(name);
        s->data = std::move(data);
        s->changed = true;
        HiveValue v;
        v.ptr_ = s;
        v.bits_ = kSlot;
        v.type_ = type;
        AppendRecord(v);
        ++live_;
        IndexRecord(count_ - 1);
    }
    Touch();
}

bool HiveKey::DeleteValue(std::string_view name) {
    int i = FindRecord(name);
    if (i < 0) return false;
    if (extra_ && extra_->values.Valid())
        extra_->values.Erase(uint32_t(i), [this](uint32_t e) { return Records()[e].Name(); });
    HiveValue& v = Records()[size_t(i)];
    if (v.bits_ & kSlot) {
        auto* s = Hive::SlotOf(v);
        s->dead = true;
        if (s->repeated || s->rawLength > kLengthMask) {
            // Its repeats look here to know they are gone too.
            v.bits_ |= kDead;
            std::vector<uint8_t>().swap(s->data);
        } else {
            v.ptr_ = s->raw;
            v.bits_ = s->rawLength | kDead;
            if (!s->raw) ++Ensure().droppable;
            hive_->FreeSlot(s->index);
        }
    } else {
        v.bits_ |= kDead;
    }
    --live_;
    if (extra_) {
        extra_->orderValid = false;
        // Values made and deleted again leave nothing in the file; drop
        // them once they outnumber the living, keeping deletion cheap.
        Extra& x = *extra_;
        if (x.droppable > 16 && x.droppable > live_) {
            x.own.erase(std::remove_if(x.own.begin(), x.own.end(),
                                       [](const HiveValue& r) { return (r.bits_ & kDead) && !r.ptr_; }),
                        x.own.end());
            count_ = uint32_t(x.own.size());
            x.droppable = 0;
            x.values.Clear();
        }
    }
    Touch();
    return true;
}

const HiveValue* HiveKey::ValueAt(size_t i) const {
    if (i >= live_) return nullptr;
    const HiveValue* r = Records();
    if (live_ == count_) return &r[i];
    Extra& x = Ensure();
    if (!x.orderValid) {
        x.order.clear();
        x.order.reserve(live_);
        for (uint32_t j = 0; j < count_; ++j)
            if (!(r[j].bits_ & (kDead | kShadow))) x.order.push_back(j);
        x.orderValid = true;
    }
    return &r[x.order[i]];
}

std::vector<const HiveValue*> HiveKey::Values() const {
    std::vector<const HiveValue*> out;
    out.reserve(live_);
    const HiveValue* r = Records();
    for (uint32_t i = 0; i < count_; ++i)
        if (!(r[i].bits_ & (kDead | kShadow))) out.push_back(&r[i]);
    return out;
}

std::string HiveKey::Class() const {
    if (!extra_ || !extra_->classLine) return {};
    const std::string& src = hive_->source_;
    const char* p = src.data() + extra_->classLine - 1;
    const char* end = src.data() + src.size();
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
    const char* le = nl ? nl : end;
    p = SkipSpace(p, le) + std::string_view("#class=\"").size();
    return DecodeName(p, le);
}

void HiveKey::EnsureSection() {
    if (HasOwnSection() || (flags_ & (kQueued | kAnchored))) return;
    if (section_) {
        // Read, but only named by subkeys: its head goes where it was first named.
        flags_ |= kAnchored;
        hive_->anchored_.push_back(this);
    } else {
        flags_ |= kQueued;
        hive_->queued_.push_back(this);
    }
}

void HiveKey::Touch() {
    EnsureSection();
    flags_ |= kTouched | kDirty;
}

// ---------------------------------------------------------------- Hive

Hive::Hive(std::string_view relativeTo) {
    TreeChanged();
    root_ = NewKey(nullptr, {});
    newHeader_ = std::string(kVersionLine) + "\n;; All keys relative to ";
    for (char c : relativeTo) {
        if (c == '\\') newHeader_ += '\\';
        newHeader_ += c;
    }
    newHeader_ += '\n';
}

Hive::~Hive() {
    TreeChanged();
    // Keys live in blocks and point at each other: no recursion, whatever the depth.
    for (size_t b = 0; b < keyBlocks_.size(); ++b) {
        size_t n = b + 1 == keyBlocks_.size() ? keysInBlock_ : kKeysPerBlock;
        auto* keys = reinterpret_cast<HiveKey*>(keyBlocks_[b].get());
        for (size_t i = 0; i < n; ++i) keys[i].~HiveKey();
    }
}

HiveKey* Hive::NewKey(HiveKey* parent, std::string_view name) {
    TreeChanged();
    if (keyBlocks_.empty() || keysInBlock_ == kKeysPerBlock) {
        keyBlocks_.emplace_back(new std::byte[kKeysPerBlock * sizeof(HiveKey)]);
        keysInBlock_ = 0;
    }
    void* at = keyBlocks_.back().get() + keysInBlock_ * sizeof(HiveKey);
    auto* key = new (at) HiveKey(*this, parent, name, uint16_t(parent ? parent->depth_ + 1 : 0));
    ++keysInBlock_;
    if (parent) {
        parent->children_.push_back(key);
        if (parent->extra_ && parent->extra_->children.Valid())
            parent->extra_->children.Insert(uint32_t(parent->children_.size() - 1),
                                            [parent](uint32_t e) { return parent->children_[e]->Name(); });
    }
    return key;
}

std::string_view Hive::KeepName(std::string_view name) {
    if (name.empty()) return {};
    if (name.size() > nameRoom_) {
        size_t size = std::max<size_t>(name.size(), 4096);
        nameBlocks_.emplace_back(new char[size]);
        nameAt_ = nameBlocks_.back().get();
        nameRoom_ = size;
    }
    char* at = nameAt_;
    std::memcpy(at, name.data(), name.size());
    nameAt_ += name.size();
    nameRoom_ -= name.size();
    return {at, name.size()};
}

void Hive::Free::operator()(void* p) const { std::free(p); }

static_assert(std::is_trivially_copyable_v<HiveValue>);

void Hive::GrowParsed(size_t room) {
    if (room == 0) {
        parsed_.reset();
        parsedRoom_ = 0;
        return;
    }
    void* grown = std::realloc(parsed_.get(), room * sizeof(HiveValue));
    if (!grown) throw std::bad_alloc();
    (void)parsed_.release();
    parsed_.reset(static_cast<HiveValue*>(grown));
    parsedRoom_ = uint32_t(room);
}

uint32_t Hive::NewSlot() {
    uint32_t n;
    if (!freeSlots_.empty()) {
        n = freeSlots_.back();
        freeSlots_.pop_back();
    } else {
        n = uint32_t(slots_.size());
        slots_.push_back(std::make_unique<Slot>());
    }
    slots_[n]->index = n;
    return n;
}

void Hive::FreeSlot(uint32_t index) {
    *slots_[index] = Slot{};
    freeSlots_.push_back(index);
}

Hive::Slot* Hive::SlotOf(const HiveValue& v) { return static_cast<Slot*>(const_cast<void*>(v.ptr_)); }

std::atomic<int64_t>& FixedRegistryTime() {
    static std::atomic<int64_t> fixed{-1};
    return fixed;
}

int64_t Hive::Now() const {
    if (fixedClock_ >= 0) return fixedClock_;
    if (int64_t fixed = FixedRegistryTime().load(); fixed >= 0) return fixed;
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

HiveKey* Hive::Find(const std::vector<std::string>& path) {
    HiveKey* k = root_;
    for (const auto& part : path) {
        k = k->FindChild(part);
        if (!k) return nullptr;
    }
    return k;
}

HiveKey& Hive::Create(const std::vector<std::string>& path) {
    HiveKey* k = root_;
    for (const auto& part : path) k = &k->CreateChild(part);
    return *k;
}

bool Hive::Remove(const std::vector<std::string>& path) {
    if (path.empty()) return false;
    std::vector<std::string> parentPath(path.begin(), path.end() - 1);
    HiveKey* parent = Find(parentPath);
    return parent && parent->RemoveChild(path.back());
}

}  // namespace tarnel::platform::wine
