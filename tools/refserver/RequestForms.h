#pragma once

// The request forms of the update server's script: which keys each md takes
// and what their values may be. A query is either exactly one form or refused.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace teelink {

enum class FieldKind {
    Language,  // 0 to 4
    U16,
    U8,
    I32,      // the area index is a signed number in the tool
    Name,     // model, area code, hardware code: a plain name
    Date6,    // six digits
    Keys150,  // fifteen ten-digit lower-case hexadecimal keys
};

struct CFormField {
    const char* key;
    FieldKind kind;
};

struct CRequestForm {
    int md;
    std::vector<CFormField> fields;
};

// A query checked against its form: every key of the form present and valid,
// no other key.
struct CCheckedQuery {
    const CRequestForm* form = nullptr;
    std::map<std::string, std::string> values;

    int Md() const { return form->md; }
    // The value of a numeric key of the form, as a number.
    int64_t Number(const std::string& key) const;
    int Language() const { return static_cast<int>(Number("l")); }
};

// nullopt with `reason` when the query is no form. `withLanguage` false checks
// a query as directory.tsv writes it, without its "l".
std::optional<CCheckedQuery> CheckQuery(std::string_view query, bool withLanguage,
                                        std::string& reason);

// The list's key without the language: md and the form's keys in form order,
// as plain decimal numbers (so "n=007" and "n=7" name the same list).
std::string ListKey(const CCheckedQuery& query);

}  // namespace teelink
