// The IUnknown of the server's COM objects: a thread-safe reference count
// and a QueryInterface over a fixed list of interfaces, written once.
#ifndef QORVEL_SERVER_COM_OBJECT_H_
#define QORVEL_SERVER_COM_OBJECT_H_

#include <atomic>

#include "server/com.h"

namespace qorvel::server {

// The base of a COM object `Derived` (a final class) that implements
// `Interface`: QueryInterface answers IID_IUnknown and each of `kIids` (the
// interface and its bases) with the object as an `Interface*`; the object
// starts with one reference, owned by its creator, and deletes itself as a
// `Derived` when the last one is released.
template <class Derived, class Interface, const IID*... kIids>
class ComObject : public Interface {
 public:
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || (IsEqualIID(iid, *kIids) || ...)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }

 protected:
  ComObject() = default;
  ~ComObject() = default;

 private:
  std::atomic<ULONG> refs_{1};
};

}  // namespace qorvel::server

#endif  // QORVEL_SERVER_COM_OBJECT_H_
