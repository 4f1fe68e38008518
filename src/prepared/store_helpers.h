// Small helpers the prepared-page store's files share: reading numbers from the stored
// document's attributes and making empty pages of a stored page class.
#pragma once

#include <memory>
#include <string_view>

namespace pagewright {

class TClassInfo;
class TpgwReportPage;
class TpgwXMLItem;

namespace store {

// The attribute as an integer; `fallback` when it is absent or not a number.
int PropInt(const TpgwXMLItem& item, std::u16string_view name, int fallback);
// A page of that class without an owner; null when the class makes no report page.
std::unique_ptr<TpgwReportPage> NewPageLike(const TClassInfo& cls);

}  // namespace store
}  // namespace pagewright
