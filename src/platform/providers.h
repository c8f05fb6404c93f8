// The names of the database providers the component and its adapters know:
// the Jet provider the lookups ask for, and the newer providers that read
// the same files where Jet is not installed (every 64-bit Windows).
#ifndef QORVEL_PLATFORM_PROVIDERS_H_
#define QORVEL_PLATFORM_PROVIDERS_H_

namespace qorvel::platform {

inline constexpr char16_t kJetProvider[] = u"Microsoft.Jet.OLEDB.4.0";
inline constexpr char16_t kAce12Provider[] = u"Microsoft.ACE.OLEDB.12.0";
inline constexpr char16_t kAce16Provider[] = u"Microsoft.ACE.OLEDB.16.0";

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_PROVIDERS_H_
