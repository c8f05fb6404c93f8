// Shared pieces of the account lookups.
#include "kx/lookup.h"

#include "platform/locale.h"

namespace qorvel::kx {

Text QuotesDoubled(TextView text) {
  Text out;
  out.reserve(text.size());
  for (const char16_t ch : text) {
    out.push_back(ch);
    if (ch == u'\'') out.push_back(u'\'');
  }
  return out;
}

Currency FieldAsCurrency(const Recordset& recordset, Integer index) {
  return platform::UserLocale().TextToCurrency(modmain::NullToString(recordset.Field(index), kTrue));
}

Text InDatePattern(_KX& self, const Text& date_text) {
  const Text pattern = self.GetDateFormat();
  const platform::Locale& locale = platform::UserLocale();
  return locale.FormatDate(locale.TextToDate(date_text), pattern);
}

}  // namespace qorvel::kx
