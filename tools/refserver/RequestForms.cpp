#include "refserver/RequestForms.h"

#include <cstdint>

#include "common/Text.h"
#include "core/MessageTable.h"  // LANGUAGE_COUNT
#include "refserver/QueryString.h"

namespace teelink {

namespace {

const std::vector<CRequestForm>& Forms() {
    using K = FieldKind;
    static const std::vector<CRequestForm> forms = {
        {1, {}},
        {3, {{"pd", K::Name}, {"mdl", K::Name}}},
        {4, {{"pd", K::Name}, {"ga", K::Name}, {"udate", K::Date6}}},
        {5, {{"l", K::Language}, {"n", K::U16}, {"s", K::U8}, {"g", K::U16}}},
        {6, {{"l", K::Language}}},
        {7, {{"l", K::Language}, {"a", K::I32}}},
        {8, {{"l", K::Language}, {"n", K::U16}}},
        {9, {{"l", K::Language}, {"n", K::U16}, {"r", K::U8}}},
        {10, {{"l", K::Language}, {"n", K::U16}}},
        {11, {{"l", K::Language}, {"n", K::U16}, {"il", K::U8}}},
        {12, {{"l", K::Language}, {"n", K::U16}, {"s", K::U8}, {"i", K::U8}}},
        {13, {{"pd", K::Name}, {"f", K::Keys150}}},
        {14, {{"l", K::Language}}},
    };
    return forms;
}

const CRequestForm* FindForm(int md) {
    for (const CRequestForm& form : Forms()) {
        if (form.md == md) {
            return &form;
        }
    }
    return nullptr;
}

bool ValueFits(FieldKind kind, const std::string& value) {
    switch (kind) {
        case FieldKind::Language:
            return ParseDecimal(value, 0, LANGUAGE_COUNT - 1).has_value();
        case FieldKind::U16:
            return ParseDecimal(value, 0, 0xFFFF).has_value();
        case FieldKind::U8:
            return ParseDecimal(value, 0, 0xFF).has_value();
        case FieldKind::I32:
            return ParseDecimal(value, INT32_MIN, INT32_MAX, true).has_value();
        case FieldKind::Name:
            return teelink::IsPlainName(value);
        case FieldKind::Date6:
            return value.size() == 6 && ParseDecimal(value, 0, 999999).has_value();
        case FieldKind::Keys150:
            return value.size() == 150 &&
                   value.find_first_not_of("0123456789abcdef") == std::string::npos;
    }
    return false;
}

// Every key of the form present and valid; the number of keys checked.
std::optional<size_t> CheckFields(const CRequestForm& form,
                                  const std::map<std::string, std::string>& pairs,
                                  bool withLanguage, std::string& reason) {
    const std::string md = "md=" + std::to_string(form.md);
    size_t checked = 0;
    for (const CFormField& field : form.fields) {
        if (!withLanguage && std::string_view(field.key) == "l") {
            continue;
        }
        ++checked;
        const auto value = pairs.find(field.key);
        if (value == pairs.end()) {
            reason = md + " needs " + field.key;
            return std::nullopt;
        }
        if (!ValueFits(field.kind, value->second)) {
            reason = md + ": bad value of " + field.key;
            return std::nullopt;
        }
    }
    return checked;
}

}  // namespace

int64_t CCheckedQuery::Number(const std::string& key) const {
    return *ParseDecimal(values.at(key), INT32_MIN, INT32_MAX, true);
}

std::optional<CCheckedQuery> CheckQuery(std::string_view query, bool withLanguage,
                                        std::string& reason) {
    auto pairs = ParseQuery(query);
    if (!pairs) {
        reason = "malformed query";
        return std::nullopt;
    }
    const auto md = pairs->find("md");
    const auto mdValue = md == pairs->end() ? std::nullopt : ParseDecimal(md->second, 1, 99);
    const CRequestForm* form = mdValue ? FindForm(static_cast<int>(*mdValue)) : nullptr;
    if (form == nullptr) {
        reason = "unknown request form";
        return std::nullopt;
    }
    const auto checked = CheckFields(*form, *pairs, withLanguage, reason);
    if (!checked) {
        return std::nullopt;
    }
    if (pairs->size() != *checked + 1) {
        reason = "md=" + std::to_string(form->md) + ": unexpected key";
        return std::nullopt;
    }
    return CCheckedQuery{form, std::move(*pairs)};
}

std::string ListKey(const CCheckedQuery& query) {
    std::string key = "md=" + std::to_string(query.Md());
    for (const CFormField& field : query.form->fields) {
        if (std::string_view(field.key) != "l") {
            key += std::string("&") + field.key + "=" + std::to_string(query.Number(field.key));
        }
    }
    return key;
}

}  // namespace teelink
