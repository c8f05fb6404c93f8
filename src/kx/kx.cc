// KX: the 24 public methods. Each method is its steps under one handler
// (RunMethod), in the style the method's row of the style table gives.
#include "qorvel/kx.h"

#include "kx/error_styles.h"
#include "platform/env.h"
#include "platform/locale.h"

namespace qorvel {

using kx::RunMethod;

KX::KX() : KX(platform::Env::Default()) {}

KX::KX(platform::Env* env) : env_(env) {}

bool KX::ErrorShown(int method) const {
  if (method < 0 || method >= kx::kMethodCount) return false;
  const int flag = kx::StyleOf(method).flag;
  return flag >= 0 && error_shown_[static_cast<std::size_t>(flag)];
}

// ---- Display formatters ----------------------------------------------------

Text KX::FormatPhone(const Text& PhoneFormat, const Text& Phone) noexcept {
  return RunMethod<Text>(*env_, error_shown_.data(), kx::kFormatPhone, [&] {
    (void)PhoneFormat;
    (void)Phone;
    return Text();
  });
}

Text KX::FormatZip(Text Zip) noexcept {
  return RunMethod<Text>(*env_, error_shown_.data(), kx::kFormatZip, [&] {
    (void)Zip;
    return Text();
  });
}

Text KX::FormatSS(Text SSNumber) noexcept {
  return RunMethod<Text>(*env_, error_shown_.data(), kx::kFormatSS, [&] {
    (void)SSNumber;
    return Text();
  });
}

Text KX::FormatName(Text First, const Text& Middle, const Text& Last, const Boolean& FML) noexcept {
  return RunMethod<Text>(*env_, error_shown_.data(), kx::kFormatName, [&] {
    (void)First, (void)Middle, (void)Last, (void)FML;
    return Text();
  });
}

Text KX::FormatAddress(Text Address1, const Text& Address2, const Text& City, const Text& State,
                       const Text& Zip, const Boolean& MultiLine) noexcept {
  return RunMethod<Text>(*env_, error_shown_.data(), kx::kFormatAddress, [&] {
    (void)Address1, (void)Address2, (void)City, (void)State, (void)Zip, (void)MultiLine;
    return Text();
  });
}

Text KX::FormatAddress2(Text Address1, const Text& Address2, const Text& Address3,
                        const Text& City, const Text& State, const Text& Zip,
                        const Boolean& MultiLine) noexcept {
  return RunMethod<Text>(*env_, error_shown_.data(), kx::kFormatAddress2, [&] {
    (void)Address1, (void)Address2, (void)Address3, (void)City, (void)State, (void)Zip,
        (void)MultiLine;
    return Text();
  });
}

Text KX::FormatMinutes(Long Minutes) noexcept {
  return RunMethod<Text>(*env_, error_shown_.data(), kx::kFormatMinutes, [&] {
    (void)Minutes;
    return Text();
  });
}

// The account lookups are in kx_lookups.cc.

// ---- Date format probe -----------------------------------------------------

Text KX::GetDateFormat() noexcept {
  return RunMethod<Text>(*env_, error_shown_.data(), kx::kGetDateFormat, [] {
    // 31 cannot be a month, so the text is 31 March 2010 in every order;
    // the locale's short date then tells whether the day comes first.
    const platform::Locale& locale = platform::UserLocale();
    const Text written = locale.DateToText(locale.TextToDate(u"03/31/2010"));
    return Text(written.substr(0, 2) == u"31" ? u"dd/MM/yyyy" : u"MM/dd/yyyy");
  });
}

}  // namespace qorvel
