#include "drivers/qvn/definition_stream.h"

#include <cstring>

#include "runtime/core/char_tables.h"

namespace docket::drivers::qvn {
namespace {

using runtime::TypeCode;

// Stream flags of a key; PRIMARY is left out when comparing.
constexpr std::uint8_t kStreamDup = 0x01, kStreamOpt = 0x02, kStreamNoCase = 0x04, kStreamPrimary = 0x10,
                       kStreamIndex = 0x20, kStreamNoComponents = 0x40;

// Sanity limits for reading a stream from a file that may be damaged.
constexpr std::uint16_t kMaxItems = 4096;

class Codec {
public:
    enum class Mode { Write, Compare, Read };
    Codec(Mode mode, std::string_view stored) : mode_(mode), in_(stored) {}

    bool ok() const { return ok_ && (mode_ == Mode::Write || at_ == in_.size()); }
    bool good() const { return ok_; }
    bool reading() const { return mode_ == Mode::Read; }
    std::string& out() { return out_; }

    void u8(std::uint8_t& v, std::uint8_t mask = 0xFF) {
        if (mode_ == Mode::Write) {
            out_.push_back(static_cast<char>(v));
            return;
        }
        if (!need(1)) return;
        const auto stored = static_cast<std::uint8_t>(in_[at_++]);
        if (mode_ == Mode::Read)
            v = stored;
        else if ((stored & mask) != (v & mask))
            ok_ = false;
    }
    void u16(std::uint16_t& v, bool compare = true) {
        if (mode_ == Mode::Write) {
            out_.push_back(static_cast<char>(v & 0xFF));
            out_.push_back(static_cast<char>(v >> 8));
            return;
        }
        if (!need(2)) return;
        const auto stored = static_cast<std::uint16_t>(static_cast<std::uint8_t>(in_[at_]) |
                                                       static_cast<std::uint8_t>(in_[at_ + 1]) << 8);
        at_ += 2;
        if (mode_ == Mode::Read)
            v = stored;
        else if (compare && stored != v)
            ok_ = false;
    }
    void text(std::string& s) {
        if (mode_ == Mode::Write) {
            out_.append(s.c_str());
            out_.push_back('\0');
            return;
        }
        if (!ok_) return;
        const std::size_t end = in_.find('\0', at_);
        if (end == std::string_view::npos) {
            ok_ = false;
            return;
        }
        const std::string stored(in_.substr(at_, end - at_));
        at_ = end + 1;
        if (mode_ == Mode::Read)
            s = stored;
        else if (runtime::collateCompare(stored, s) != 0)
            ok_ = false;
    }
    // A count that sizes a list: read mode refuses absurd counts of a damaged stream.
    void count(std::uint16_t& v) {
        u16(v);
        if (mode_ == Mode::Read && v > kMaxItems) ok_ = false;
    }

private:
    bool need(std::size_t n) {
        if (!ok_ || at_ + n > in_.size()) ok_ = false;
        return ok_;
    }

    Mode mode_;
    std::string_view in_;
    std::size_t at_ = 0;
    bool ok_ = true;
    std::string out_;
};

std::uint16_t narrow(std::uint64_t v) {
    return static_cast<std::uint16_t>(v > 0xFFFF ? 0xFFFF : v);
}

std::uint8_t streamKeyFlags(const KeyDeclaration& key) {
    std::uint8_t f = 0;
    if (key.flags & key_flag::kDup) f |= kStreamDup;
    if (key.flags & key_flag::kOpt) f |= kStreamOpt;
    if (key.flags & key_flag::kNoCase) f |= kStreamNoCase;
    if (key.flags & key_flag::kPrimary) f |= kStreamPrimary;
    if (key.flags & key_flag::kIndex) f |= kStreamIndex;
    if (key.isIndex() && key.components.empty()) f |= kStreamNoComponents;
    return f;
}

std::uint16_t declarationKeyFlags(std::uint8_t f) {
    std::uint16_t flags = 0;
    if (f & kStreamDup) flags |= key_flag::kDup;
    if (f & kStreamOpt) flags |= key_flag::kOpt;
    if (f & kStreamNoCase) flags |= key_flag::kNoCase;
    if (f & kStreamPrimary) flags |= key_flag::kPrimary;
    if (f & kStreamIndex) flags |= key_flag::kIndex;
    return flags;
}

bool isString(TypeCode t) {
    return t == TypeCode::String || t == TypeCode::CString || t == TypeCode::PString;
}

// The routine shared by all three modes. In read mode `d` starts empty and is filled.
void walk(Codec& c, FileDeclaration& d) {
    bool hasBlob = false;
    for (const auto& m : d.memos) hasBlob |= m.isBlob();
    std::uint16_t version = hasBlob ? 2 : 1;
    c.u16(version, !c.reading());
    std::uint16_t recordLength = narrow(d.recordLength);
    c.u16(recordLength);
    std::uint16_t fields = narrow(d.fields.size()), memos = narrow(d.memos.size()),
                  keys = narrow(d.keys.size());
    c.count(fields);
    c.count(memos);
    c.count(keys);
    if (!c.good()) return;
    if (c.reading()) {
        d.recordLength = recordLength;
        d.fields.resize(fields);
        d.memos.resize(memos);
        d.keys.resize(keys);
    }
    for (std::size_t i = 0; i < d.fields.size() && c.good(); ++i) {
        FieldDeclaration& f = d.fields[i];
        auto type = static_cast<std::uint8_t>(f.type);
        c.u8(type);
        std::uint16_t offset = narrow(f.offset);
        c.u16(offset);
        c.text(f.label);
        std::uint16_t elements = narrow(f.elements), size = narrow(f.size);
        c.u16(elements);
        c.u16(size);
        // The field reference names the OVER target (its number + 1), 0 for none.
        std::uint16_t overlay = f.over ? 1 : 0, reference = 0;
        if (f.over)
            for (std::size_t j = 0; j < i; ++j)
                if (runtime::collateCompareNoCase(d.fields[j].label, *f.over) == 0) reference = narrow(j + 1);
        c.u16(overlay);
        c.u16(reference);
        if (c.reading()) {
            f.type = static_cast<TypeCode>(type);
            f.offset = offset;
            f.elements = elements ? elements : 1;
            f.size = size;
            if (overlay && reference >= 1 && reference <= i) f.over = d.fields[reference - 1].label;
        }
        if (f.type == TypeCode::Decimal || f.type == TypeCode::PDecimal) {
            std::uint8_t places = f.places, elementSize = static_cast<std::uint8_t>(f.elementSize());
            c.u8(places);
            c.u8(elementSize);
            if (c.reading()) {
                f.places = places;
                f.digits = static_cast<std::uint8_t>(elementSize * 2 - 1);
            }
        } else if (isString(f.type)) {
            std::uint16_t length = narrow(f.elementLength);
            c.u16(length);
            c.text(f.picture);
            if (c.reading()) f.elementLength = length;
        }
    }
    for (std::size_t i = 0; i < d.memos.size() && c.good(); ++i) {
        MemoDeclaration& m = d.memos[i];
        std::string name = m.name.value_or("");
        c.text(name);
        c.text(m.label);
        std::uint16_t size = narrow(m.size);
        std::uint16_t flags = m.flags & (memo_flag::kBinary | memo_flag::kBlob);
        // A BLOB's size is free, so compare mode checks sizes apart (memoSizesMatch).
        c.u16(size, false);
        c.u16(flags);
        if (c.reading()) {
            if (!name.empty()) m.name = name;
            m.size = size;
            m.flags = static_cast<std::uint8_t>(flags);
        }
    }
    for (std::size_t i = 0; i < d.keys.size() && c.good(); ++i) {
        KeyDeclaration& k = d.keys[i];
        std::string name = k.name.value_or("");
        c.text(name);
        c.text(k.label);
        std::uint8_t flags = streamKeyFlags(k);
        c.u8(flags, static_cast<std::uint8_t>(~kStreamPrimary));
        std::uint16_t count = narrow(k.components.size());
        c.count(count);
        if (c.reading()) {
            if (!name.empty()) k.name = name;
            k.flags = declarationKeyFlags(flags);
            k.components.resize(count);
        }
        for (std::size_t j = 0; j < k.components.size() && c.good(); ++j) {
            const std::int32_t component = k.components[j];
            std::uint16_t field =
                narrow(component < 0 ? -static_cast<std::int64_t>(component) - 1 : component - 1);
            std::uint16_t direction = component < 0 ? 1 : 0;
            c.u16(field);
            c.u16(direction);
            if (c.reading()) {
                // readDefinition refuses components that name no field afterwards.
                const std::int32_t number = static_cast<std::int32_t>(field) + 1;
                k.components[j] = direction ? -number : number;
            }
        }
    }
}

// Compares memo sizes separately: a MEMO's size must match, a BLOB's is free.
bool memoSizesMatch(const FileDeclaration& declaration, std::string_view stored) {
    FileDeclaration read;
    if (!readDefinition(stored, &read) || read.memos.size() != declaration.memos.size()) return false;
    for (std::size_t i = 0; i < read.memos.size(); ++i)
        if (!declaration.memos[i].isBlob() && read.memos[i].size != declaration.memos[i].size) return false;
    return true;
}

} // namespace

std::string writeDefinition(const FileDeclaration& declaration) {
    Codec c(Codec::Mode::Write, {});
    walk(c, const_cast<FileDeclaration&>(declaration)); // write mode never changes the declaration
    return std::move(c.out());
}

bool definitionMatches(const FileDeclaration& declaration, std::string_view stored) {
    Codec c(Codec::Mode::Compare, stored);
    FileDeclaration copy = declaration; // compare mode reads its values only
    walk(c, copy);
    return c.ok() && memoSizesMatch(declaration, stored);
}

bool readDefinition(std::string_view stored, FileDeclaration* declaration) {
    Codec c(Codec::Mode::Read, stored);
    walk(c, *declaration);
    if (!c.ok()) return false;
    for (const auto& f : declaration->fields)
        if (std::uint64_t{f.offset} + f.size > declaration->recordLength) return false;
    for (const auto& k : declaration->keys)
        for (std::int32_t component : k.components)
            if (component == 0 ||
                static_cast<std::size_t>(component < 0 ? -component : component) > declaration->fields.size())
                return false;
    return true;
}

} // namespace docket::drivers::qvn
