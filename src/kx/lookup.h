// The procedure every account lookup follows, and the pieces the sixteen
// lookups build their statements and read their values with.
//
// A lookup is: the result starts at its default; an empty path returns it
// at once; the thread's connection is made ready (a failure returns the
// default, the connection has shown its own box); the method's statement is
// built; a static read-only recordset is opened on it; the method reads its
// value; the recordset is closed. Any error on the way becomes the method's
// error result in the method's style. Only the statement and the reading
// differ from method to method.
#ifndef QORVEL_KX_LOOKUP_H_
#define QORVEL_KX_LOOKUP_H_

#include <memory>
#include <string>
#include <utility>

#include "base/text_ops.h"
#include "kx/method_styles.h"
#include "modmain/mod_main.h"
#include "qorvel/env.h"
#include "qorvel/kx.h"
#include "qorvel/kx_interface.h"

namespace qorvel::kx {

inline constexpr Long kCursorStatic = 3;
inline constexpr Long kLockReadOnly = 1;
inline constexpr Long kOptionsUnspecified = -1;

}  // namespace qorvel::kx

namespace qorvel {

// Runs one lookup under the method's handler. `build` returns the statement
// text; `read` reads the result from the open recordset. Never throws.
template <class R, class Build, class Read>
R KX::Lookup(int method, const Text& TargetDB, Build&& build, Read&& read) noexcept {
  return Run<R>(method, [&]() -> R {
    const R default_result = kx::ResultFrom<R>(kx::StyleOf(method).default_result);
    if (TargetDB.empty()) return default_result;
    if (!modmain::ConnectToDB(*env_, TargetDB)) return default_result;
    const Text statement = build();
    const std::unique_ptr<Recordset> recordset = env_->CreateRecordset();
    if (!recordset) RaiseOutOfMemory();
    recordset->Open(statement, *modmain::ThisThread().DBConnection, kx::kCursorStatic,
                    kx::kLockReadOnly, kx::kOptionsUnspecified);
    R result = read(*recordset);
    recordset->Close();
    return result;
  });
}

}  // namespace qorvel

namespace qorvel::kx {

// Statement pieces: fixed text as it stands, integers as plain decimal text
// with a minus sign when negative.
inline void AppendPiece(Text& out, TextView piece) { out += piece; }
inline void AppendPiece(Text& out, Long number) { out += DecimalText(number); }

// The exact concatenation of the pieces, nothing between them.
template <class... Pieces>
Text Sql(const Pieces&... pieces) {
  Text out;
  (AppendPiece(out, pieces), ...);
  return out;
}

// A text to be compared as the literal it is: every single quote doubled.
Text QuotesDoubled(TextView text);

// The first row's field at `index` through NullToString with ZeroIfNull
// True, read as Currency. Precondition: the recordset has a current row
// (else the read raises, as reading without a row does).
Currency FieldAsCurrency(const Recordset& recordset, Integer index = 0);

// A date text rendered in the object's date pattern: GetDateFormat is asked
// through the object's own interface, the text is read back as a date under
// the user locale and printed with the pattern.
Text InDatePattern(_KX& self, const Text& date_text);

}  // namespace qorvel::kx

#endif  // QORVEL_KX_LOOKUP_H_
