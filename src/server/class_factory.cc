// The class factory of KX: creates KX objects (no aggregation) and counts
// server locks.
#include "server/class_factory.h"

#include <new>

#include "server/com_object.h"
#include "server/kx_object.h"
#include "server/module.h"

namespace qorvel::server {
namespace {

class ClassFactory final : public ComObject<ClassFactory, IClassFactory, &IID_IClassFactory> {
 public:
  ClassFactory() { AddObject(); }
  ~ClassFactory() { ReleaseObject(); }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return CreateKxObject(iid, out);
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      AddLock();
    } else {
      ReleaseLock();
    }
    return S_OK;
  }
};

}  // namespace

HRESULT CreateClassFactory(REFIID iid, void** out) noexcept {
  auto* factory = new (std::nothrow) ClassFactory();
  if (!factory) return E_OUTOFMEMORY;
  const HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}

}  // namespace qorvel::server
