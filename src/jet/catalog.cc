// Names of the Jet column types.
#include "jet/catalog.h"

namespace qorvel::jet {

const char* JetTypeName(JetType type) {
  switch (type) {
    case JetType::kByte: return "Byte";
    case JetType::kInteger: return "Integer";
    case JetType::kLong: return "Long";
    case JetType::kSingle: return "Single";
    case JetType::kDouble: return "Double";
    case JetType::kCurrency: return "Currency";
    case JetType::kDateTime: return "DateTime";
    case JetType::kText: return "Text";
    case JetType::kMemo: return "Memo";
    case JetType::kBoolean: return "Boolean";
    case JetType::kGuid: return "GUID";
    case JetType::kNumeric: return "Numeric";
    case JetType::kBinary: return "Binary";
    case JetType::kOle: return "OLE";
    case JetType::kDateTimeExtended: return "DateTimeExtended";
  }
  return "Unknown";
}

}  // namespace qorvel::jet
