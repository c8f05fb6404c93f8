// The class factory of KX: creates KX objects (no aggregation) and counts
// server locks.
#include "server/class_factory.h"

#include <atomic>
#include <new>

#include "server/kx_object.h"
#include "server/module.h"

namespace qorvel::server {
namespace {

class ClassFactory final : public IClassFactory {
 public:
  ClassFactory() { AddObject(); }
  ~ClassFactory() { ReleaseObject(); }
  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

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

 private:
  std::atomic<ULONG> refs_{1};
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
