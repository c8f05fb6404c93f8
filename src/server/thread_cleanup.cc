// The IInitializeSpy that releases a thread's module data before its
// apartment ends.
#include "server/thread_cleanup.h"

#include <new>

#include "modmain/mod_main.h"
#include "server/com_object.h"
#include "server/module.h"

namespace qorvel::server {
namespace {

// Whether the calling thread has a registered spy. Trivially destructible,
// so the thread's exit runs no code of ours for it.
thread_local bool t_watched = false;

class UninitializeSpy final : public ComObject<UninitializeSpy, IInitializeSpy, &IID_IInitializeSpy> {
 public:
  // Precondition: called once, on the thread the spy watches.
  HRESULT Register() {
    const HRESULT hr = CoRegisterInitializeSpy(this, &cookie_);
    if (SUCCEEDED(hr)) {
      t_watched = true;
      AddSpy();
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE PreInitialize(DWORD, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PostInitialize(HRESULT result, DWORD, DWORD) override { return result; }
  HRESULT STDMETHODCALLTYPE PostUninitialize(DWORD) override { return S_OK; }

  // `apartment_refs` counts this thread's initialisations before this
  // CoUninitialize: 1 means the apartment is about to end.
  HRESULT STDMETHODCALLTYPE PreUninitialize(DWORD apartment_refs) override {
    if (apartment_refs != 1) return S_OK;
    try {
      modmain::ResetThisThread();
    } catch (...) {
      // Nothing to report to: the thread is shutting down its apartment.
    }
    t_watched = false;
    // Revoking releases COM's reference; the spy may be gone afterwards, so
    // nothing below touches it. Lifting the unload guard comes last.
    CoRevokeInitializeSpy(cookie_);
    ReleaseSpy();
    return S_OK;
  }

 private:
  ULARGE_INTEGER cookie_{};
};

}  // namespace

void WatchThisThread() noexcept {
  if (t_watched) return;
  APTTYPE type;
  APTTYPEQUALIFIER qualifier;
  if (FAILED(CoGetApartmentType(&type, &qualifier))) return;
  // A thread in the process's implicit MTA never calls CoUninitialize
  // itself, so a spy there would never be revoked.
  if (qualifier == APTTYPEQUALIFIER_IMPLICIT_MTA) return;
  auto* spy = new (std::nothrow) UninitializeSpy();
  if (!spy) return;
  spy->Register();
  spy->Release();  // COM holds the spy while it is registered
}

}  // namespace qorvel::server
