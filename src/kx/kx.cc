// KX: the 24 public methods. Each method is its steps under one handler
// (RunMethod), in the style the method's row of the style table gives.
#include "qorvel/kx.h"

#include "kx/method_styles.h"
#include "kx/formatters.h"
#include "qorvel/env.h"
#include "platform/locale.h"

namespace qorvel {

KX::KX() : KX(Env::Default()) {}

KX::KX(Env* env) : env_(env) {}

bool KX::ErrorShown(int method) const {
  if (method < 0 || method >= kx::kMethodCount) return false;
  const int flag = kx::StyleOf(method).flag;
  return flag >= 0 && error_shown_[static_cast<std::size_t>(flag)];
}

// ---- Display formatters ----------------------------------------------------

Text KX::FormatPhone(const Text& PhoneFormat, const Text& Phone) noexcept {
  return Run<Text>(kx::kFormatPhone, [&] {
    return kx::FormatPhone(PhoneFormat, Phone);
  });
}

Text KX::FormatZip(Text Zip) noexcept {
  return Run<Text>(kx::kFormatZip, [&] {
    return kx::FormatZip(Zip);
  });
}

Text KX::FormatSS(Text SSNumber) noexcept {
  return Run<Text>(kx::kFormatSS, [&] {
    return kx::FormatSS(SSNumber);
  });
}

Text KX::FormatName(Text First, const Text& Middle, const Text& Last, const Boolean& FML) noexcept {
  return Run<Text>(kx::kFormatName, [&] {
    return kx::FormatName(First, Middle, Last, FML);
  });
}

// The address methods format the ZIP part with this object's FormatZip,
// called through the _KX interface as the host calls it. Like every method
// of the interface, FormatZip never fails towards its caller: it handles its
// own errors and returns its error text, which the address takes like any
// other ZIP text. (kx::FormatAddress treats an error raised by the ZIP call
// as an error of the address, for callers whose ZIP formatter can fail.)
Text KX::FormatAddress(Text Address1, const Text& Address2, const Text& City, const Text& State,
                       const Text& Zip, const Boolean& MultiLine) noexcept {
  return Run<Text>(kx::kFormatAddress, [&] {
    const auto format_zip = [this](const Text& zip) {
      return static_cast<_KX&>(*this).FormatZip(zip);
    };
    return kx::FormatAddress(Address1, Address2, City, State, Zip, MultiLine, format_zip);
  });
}

Text KX::FormatAddress2(Text Address1, const Text& Address2, const Text& Address3,
                        const Text& City, const Text& State, const Text& Zip,
                        const Boolean& MultiLine) noexcept {
  return Run<Text>(kx::kFormatAddress2, [&] {
    const auto format_zip = [this](const Text& zip) {
      return static_cast<_KX&>(*this).FormatZip(zip);
    };
    return kx::FormatAddress2(Address1, Address2, Address3, City, State, Zip, MultiLine,
                              format_zip);
  });
}

Text KX::FormatMinutes(Long Minutes) noexcept {
  return Run<Text>(kx::kFormatMinutes, [&] {
    return kx::FormatMinutes(Minutes);
  });
}

// The account lookups are in kx_lookups.cc.

// ---- Date format probe -----------------------------------------------------

Text KX::GetDateFormat() noexcept {
  return Run<Text>(kx::kGetDateFormat, [] {
    // 31 cannot be a month, so the text is 31 March 2010 in every order;
    // the locale's short date then tells whether the day comes first.
    const platform::Locale& locale = platform::UserLocale();
    const Text written = locale.DateToText(locale.TextToDate(u"03/31/2010"));
    return Text(written.substr(0, 2) == u"31" ? u"dd/MM/yyyy" : u"MM/dd/yyyy");
  });
}

}  // namespace qorvel
