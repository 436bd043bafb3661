#include "runtime/core/char_tables.h"
#include "tools/qvn/schema.h"

#include <charconv>

#include "drivers/qvn/definition_stream.h"

namespace docket::qvn_tool {

namespace {

using drivers::FieldDeclaration;
using drivers::KeyDeclaration;
using drivers::MemoDeclaration;
using runtime::TypeCode;

// The largest declared length a string may have: its size must fit the definition's 16-bit
// numbers.
constexpr std::uint32_t kMaxLength = 65535;
constexpr std::uint32_t kMaxDecimalDigits = 31;

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}


std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

// A label the expression language can bind whole: a letter or "_" first, then letters, digits,
// "_" and ":".
bool validName(std::string_view name) {
    if (name.empty() || name.size() > 99) return false;
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    if (!letter(name.front())) return false;
    for (char c : name)
        if (!letter(c) && !(c >= '0' && c <= '9') && c != ':') return false;
    return true;
}

bool parseNumber(std::string_view text, std::uint32_t* out) {
    text = trim(text);
    const auto result = std::from_chars(text.data(), text.data() + text.size(), *out);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

struct TypeSpec {
    TypeCode type = TypeCode::End;
    bool memo = false, blob = false;
    std::uint32_t length = 0; // strings and memos: the declared length
    std::uint32_t digits = 0, places = 0;
};

// "TYPE" or "TYPE(args)"; false with a reason.
bool parseType(std::string_view text, TypeSpec* parsed, std::string* reason) {
    text = trim(text);
    std::string_view args;
    bool hasArgs = false;
    if (const std::size_t open = text.find('('); open != std::string_view::npos) {
        if (text.back() != ')') {
            *reason = "a ')' is missing after the type's length";
            return false;
        }
        args = text.substr(open + 1, text.size() - open - 2);
        text = trim(text.substr(0, open));
        hasArgs = true;
    }
    const std::string name = runtime::upperText(text);
    static const struct {
        const char* name;
        TypeCode type;
    } fixed[] = {{"BYTE", TypeCode::Byte}, {"SHORT", TypeCode::Short}, {"USHORT", TypeCode::UShort},
                 {"LONG", TypeCode::Long}, {"ULONG", TypeCode::ULong}, {"DATE", TypeCode::Date},
                 {"TIME", TypeCode::Time}, {"SREAL", TypeCode::SReal}, {"REAL", TypeCode::Real}};
    for (const auto& f : fixed)
        if (name == f.name) {
            if (hasArgs) {
                *reason = name + " takes no length";
                return false;
            }
            parsed->type = f.type;
            return true;
        }
    if (name == "BLOB") {
        if (hasArgs) {
            *reason = "BLOB takes no length";
            return false;
        }
        parsed->blob = parsed->memo = true;
        parsed->type = TypeCode::Blob;
        return true;
    }
    if (name == "DECIMAL") {
        const auto parts = split(args, ',');
        if (!hasArgs || parts.size() > 2 || !parseNumber(parts[0], &parsed->digits) ||
            (parts.size() == 2 && !parseNumber(parts[1], &parsed->places))) {
            *reason = "DECIMAL needs (digits) or (digits,places)";
            return false;
        }
        if (parsed->digits < 1 || parsed->digits > kMaxDecimalDigits || parsed->places > parsed->digits) {
            *reason = "DECIMAL needs 1 to 31 digits and no more places than digits";
            return false;
        }
        parsed->type = TypeCode::Decimal;
        return true;
    }
    const bool memo = name == "MEMO";
    if (name == "STRING" || name == "CSTRING" || name == "PSTRING" || memo) {
        const std::uint32_t most = memo ? drivers::qvn::kMaxMemoSize : name == "PSTRING" ? 256 : kMaxLength;
        if (!hasArgs || !parseNumber(args, &parsed->length) || parsed->length < 1 || parsed->length > most) {
            *reason = name + " needs a length from 1 to " + std::to_string(most);
            return false;
        }
        parsed->type = memo                ? TypeCode::Memo
                     : name == "STRING"  ? TypeCode::String
                     : name == "CSTRING" ? TypeCode::CString
                                         : TypeCode::PString;
        parsed->memo = memo;
        return true;
    }
    *reason = "unknown type '" + std::string(text) +
              "' (BYTE, SHORT, USHORT, LONG, ULONG, DATE, TIME, SREAL, REAL, DECIMAL(n,m), STRING(n), "
              "CSTRING(n), PSTRING(n), MEMO(n) or BLOB)";
    return false;
}

bool parseKey(std::string_view item, const drivers::FileDeclaration& d,
              const std::vector<std::string>& memoNames, KeyDeclaration* key, std::string* reason) {
    item = trim(item);
    if (item.size() < 4 || runtime::upperText(item.substr(0, 4)) != "KEY ") {
        *reason = "a key begins with 'KEY NAME='";
        return false;
    }
    item = trim(item.substr(4));
    const std::size_t equals = item.find('=');
    if (equals == std::string_view::npos) {
        *reason = "'=' is missing after the key's name";
        return false;
    }
    const std::string_view name = trim(item.substr(0, equals));
    if (!validName(name)) {
        *reason = "the key's name '" + std::string(name) + "' is not a name";
        return false;
    }
    key->label = runtime::upperText(name);
    std::string_view rest = trim(item.substr(equals + 1));
    // The components run up to the first blank; the words follow.
    const std::size_t blank = rest.find_first_of(" \t");
    const std::string_view components = rest.substr(0, blank);
    const std::string_view words = blank == std::string_view::npos ? std::string_view() : rest.substr(blank);
    if (components.empty()) {
        *reason = "the key has no components";
        return false;
    }
    for (std::string_view c : split(components, ',')) {
        if (c.empty() || (c.front() != '+' && c.front() != '-')) {
            *reason = "component '" + std::string(c) + "' needs '+' or '-' before the field";
            return false;
        }
        const std::string field = runtime::upperText(c.substr(1));
        std::int32_t number = 0;
        for (std::size_t f = 0; f < d.fields.size(); ++f)
            if (d.fields[f].label == field) number = static_cast<std::int32_t>(f) + 1;
        if (number == 0) {
            bool isMemo = false;
            for (const auto& m : memoNames) isMemo = isMemo || m == field;
            *reason = isMemo ? "component '" + std::string(c) + "' names a memo; keys take fields only"
                             : "component '" + std::string(c) + "' names no field";
            return false;
        }
        key->components.push_back(c.front() == '-' ? -number : number);
    }
    for (std::string_view word : split(words, ' ')) {
        word = trim(word);
        if (word.empty()) continue;
        const std::string w = runtime::upperText(word);
        if (w == "PRIMARY")
            key->flags |= drivers::key_flag::kPrimary;
        else if (w == "DUP")
            key->flags |= drivers::key_flag::kDup;
        else if (w == "NOCASE")
            key->flags |= drivers::key_flag::kNoCase;
        else if (w == "OPT")
            key->flags |= drivers::key_flag::kOpt;
        else {
            *reason = "unknown key word '" + std::string(word) + "' (PRIMARY, DUP, NOCASE or OPT)";
            return false;
        }
    }
    if ((key->flags & drivers::key_flag::kPrimary) && (key->flags & drivers::key_flag::kDup)) {
        *reason = "a PRIMARY key cannot be DUP";
        return false;
    }
    return true;
}

} // namespace

std::size_t textCapacity(const FieldDeclaration& field) {
    return field.type == TypeCode::String ? field.size : field.size - 1;
}

bool parseSchema(std::string_view text, SchemaTable* out, std::string* error) {
    drivers::FileDeclaration& d = out->declaration;
    const std::vector<std::string_view> sections = split(text, ';');
    if (trim(sections[0]).empty()) {
        *error = "the schema has no fields";
        return false;
    }
    std::vector<std::string> memoNames;
    std::vector<TypeSpec> memoSpecs;
    const std::vector<std::string_view> items = split(sections[0], ',');
    // A comma inside DECIMAL(n,m) splits the item: the pieces are joined back while a "(" is open.
    std::vector<std::string> joined;
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::string item(items[i]);
        while (item.find('(') != std::string::npos && item.find(')') == std::string::npos &&
               i + 1 < items.size())
            item += "," + std::string(items[++i]);
        joined.push_back(item);
    }
    for (std::size_t i = 0; i < joined.size(); ++i) {
        const std::string_view item = trim(joined[i]);
        const std::string where = "field " + std::to_string(i + 1) + " '" + std::string(item) + "': ";
        const std::size_t colon = item.rfind(':', item.find('('));
        if (item.empty() || colon == std::string_view::npos) {
            *error = where + "NAME:TYPE is needed";
            return false;
        }
        const std::string_view name = trim(item.substr(0, colon));
        if (!validName(name)) {
            *error = where + "'" + std::string(name) +
                     "' is not a name (a letter or '_', then letters, digits, '_', ':')";
            return false;
        }
        const std::string label = runtime::upperText(name);
        bool taken = false;
        for (const auto& f : d.fields) taken = taken || f.label == label;
        for (const auto& m : memoNames) taken = taken || m == label;
        if (taken) {
            *error = where + "the name " + label + " is used twice";
            return false;
        }
        TypeSpec parsed;
        std::string reason;
        if (!parseType(item.substr(colon + 1), &parsed, &reason)) {
            *error = where + reason;
            return false;
        }
        if (parsed.memo) {
            memoNames.push_back(label);
            memoSpecs.push_back(parsed);
            continue;
        }
        FieldDeclaration f;
        f.type = parsed.type;
        f.label = label;
        f.offset = d.recordLength;
        switch (parsed.type) {
        case TypeCode::Decimal:
            f.size = parsed.digits / 2 + 1;
            f.digits = static_cast<std::uint8_t>(parsed.digits);
            f.places = static_cast<std::uint8_t>(parsed.places);
            break;
        case TypeCode::String:
        case TypeCode::CString:
        case TypeCode::PString:
            f.size = f.elementLength = parsed.length;
            break;
        default:
            f.size = static_cast<std::uint32_t>(runtime::fixedWidth(parsed.type));
            break;
        }
        if (std::uint64_t{d.recordLength} + f.size > 0xFFFF) {
            *error = where + "the record grows beyond 65535 bytes";
            return false;
        }
        d.recordLength += f.size;
        d.fields.push_back(f);
    }
    if (d.fields.empty()) {
        *error = "the schema has no fields, only memos";
        return false;
    }
    for (std::size_t s = 1; s < sections.size(); ++s) {
        KeyDeclaration key;
        std::string reason;
        if (!parseKey(sections[s], d, memoNames, &key, &reason)) {
            *error = "key " + std::to_string(s) + " '" + std::string(trim(sections[s])) + "': " + reason;
            return false;
        }
        for (const auto& k : d.keys)
            if (k.label == key.label) {
                *error = "key " + std::to_string(s) + ": the name " + key.label + " is used twice";
                return false;
            }
        d.keys.push_back(std::move(key));
    }
    if (d.keys.size() > 243) {
        *error = "a table has at most 243 keys";
        return false;
    }
    out->record.assign(d.recordLength, 0);
    d.record = out->record.data();
    for (std::size_t m = 0; m < memoNames.size(); ++m) {
        MemoDeclaration memo;
        memo.label = memoNames[m];
        if (memoSpecs[m].blob) {
            memo.flags = drivers::memo_flag::kBlob;
            memo.blob = &out->blobs.emplace_back();
        } else {
            memo.size = memoSpecs[m].length;
            memo.buffer = out->memos.emplace_back(memo.size, ' ').data();
        }
        d.memos.push_back(memo);
    }
    return true;
}

} // namespace docket::qvn_tool
