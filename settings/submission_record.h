#pragma once
// The submission record: the ten text fields whose concatenation is the
// submission URL, the six payment categories, and the eighteen settings keys.
// Every other piece of code iterates these tables instead of naming fields.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace kelvora {

inline constexpr std::string_view kSectionGeneral = "General";
inline constexpr std::string_view kSectionKelvora = "Kelvora";
inline constexpr std::string_view kSectionFilter = "Kelvora_Filter";

struct PaymentCategory {
    std::string_view name;             // what it is, for people
    std::string_view label;            // label on both pages
    std::string_view parameterField;   // window field on the main page
    std::string_view filterField;      // window field on the Settings page
    std::string_view settingsKey;      // same key in [Kelvora] and [Kelvora_Filter]
    std::string_view parameterPrefix;  // "&cashSales=" ...
    std::string_view paymentCode;      // the code the default filter selects

    std::string defaultFilter() const;     // Pymt_MASCODE= + quoted code
    std::string defaultParameter() const;  // prefix + "0"
};

inline constexpr std::size_t kCategoryCount = 6;
const std::array<PaymentCategory, kCategoryCount>& paymentCategories();

struct SubmissionField {
    std::string_view windowField;
    std::string_view label;        // label in the window
    std::string_view settingsKey;  // key in [Kelvora]
    std::string defaultText;
    bool operatorEdited;           // fields 1-3, edited on the Settings page
};

inline constexpr std::size_t kSubmissionFieldCount = 10;
// Fields 1-4 followed by the parameter fields of the six categories in order.
const std::array<SubmissionField, kSubmissionFieldCount>& submissionFields();
inline constexpr std::size_t kFirstParameterField = 3;  // edtDate; fields 4..10 are parameter fields
inline constexpr std::size_t kFirstCategoryField = 4;   // edtCASH

// The default service address.
extern const std::string_view kDefaultServiceUrl;

// Joins field texts in order with nothing between them.
template <typename Range>
std::string joinSubmissionUrl(const Range& texts) {
    std::string url;
    for (const auto& t : texts) url += t;
    return url;
}
std::string defaultSubmissionUrl();

// The eighteen settings keys in reading order; `updateOrder` is 1..11 for the
// keys "UPDATE" writes and 0 for the seven it never writes.
struct SettingsKey {
    std::string_view section;
    std::string_view key;
    std::string_view windowField;
    std::string defaultText;
    int updateOrder;
};
inline constexpr std::size_t kSettingsKeyCount = 18;
const std::array<SettingsKey, kSettingsKeyCount>& settingsKeys();

inline constexpr std::string_view kFieldSalesFile = "edtSalesFile";
inline constexpr std::string_view kFieldStore = "edtStore";
inline constexpr std::string_view kDefaultStore = "0000";

}  // namespace kelvora
