#include "submission_record.h"

#include "sql_text.h"

namespace kelvora {

const std::string_view kDefaultServiceUrl =
    "http://sales.kelvora.example/SubmitSales.asmx/SubmitSalesTransaction?";

std::string PaymentCategory::defaultFilter() const {
    return "Pymt_MASCODE=" + quoteSql(paymentCode);
}

std::string PaymentCategory::defaultParameter() const {
    return std::string(parameterPrefix) + "0";
}

const std::array<PaymentCategory, kCategoryCount>& paymentCategories() {
    static const std::array<PaymentCategory, kCategoryCount> table{{
        {"cash", "CASH", "edtCASH", "FilterCASH", "CASHSales", "&cashSales=", "CASH"},
        {"Visa card", "CreditCardVISA", "edtCreditCardVISA", "FilterCreditCardVISA",
         "CreditCardVISA", "&creditCardVisa=", "VISA"},
        {"MasterCard", "CreditCardMASTER", "edtCreditCardMASTER", "FilterCreditCardMASTER",
         "CreditCardMASTER", "&creditCardMaster=", "MASTER"},
        {"American Express", "CreditCardAMEX", "edtCreditCardAMEX", "FilterCreditCardAMEX",
         "CreditCardAMEX", "&creditCardAmex=", "AMEX"},
        // The other-cards category selects "EDC", not "OTHER".
        {"other cards", "CreditCardOTHER", "edtCreditCardOTHER", "FilterCreditCardOTHER",
         "CreditCardOTHER", "&creditCardOthers=", "EDC"},
        {"others", "Others", "edtOther", "FilterOther", "OTHER", "&others=", "OTHER"},
    }};
    return table;
}

const std::array<SubmissionField, kSubmissionFieldCount>& submissionFields() {
    static const std::array<SubmissionField, kSubmissionFieldCount> table = [] {
        std::array<SubmissionField, kSubmissionFieldCount> t{{
            {"edtURL", "Webservice URL", "URL", std::string(kDefaultServiceUrl), true},
            {"edtUser", "UserName", "USER", "userName=YR34418054", true},
            {"edtPassword", "Password", "PWD", "&password=70261384", true},
            {"edtDate", "Transaction Date", "DATE", "&transactionDateTime=1-May-2005", false},
        }};
        std::size_t i = kFirstCategoryField;
        for (const auto& c : paymentCategories())
            t[i++] = {c.parameterField, c.label, c.settingsKey, c.defaultParameter(), false};
        return t;
    }();
    return table;
}

std::string defaultSubmissionUrl() {
    std::string url;
    for (const auto& f : submissionFields()) url += f.defaultText;
    return url;
}

const std::array<SettingsKey, kSettingsKeyCount>& settingsKeys() {
    static const std::array<SettingsKey, kSettingsKeyCount> table = [] {
        std::array<SettingsKey, kSettingsKeyCount> t{};
        std::size_t i = 0;
        int update = 1;
        t[i++] = {kSectionGeneral, "FDB_SALES_FILE", kFieldSalesFile, "", update++};
        t[i++] = {kSectionGeneral, "DEFAULT_STORE", kFieldStore, std::string(kDefaultStore), update++};
        for (const auto& f : submissionFields())
            t[i++] = {kSectionKelvora, f.settingsKey, f.windowField, f.defaultText,
                      f.operatorEdited ? update++ : 0};
        for (const auto& c : paymentCategories())
            t[i++] = {kSectionFilter, c.settingsKey, c.filterField, c.defaultFilter(), update++};
        return t;
    }();
    return table;
}

}  // namespace kelvora
