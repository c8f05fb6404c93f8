// Threads and unloading: each client thread has its own apartment, its own
// objects and its own database connection; a thread's connection is
// released when its apartment ends (the server's clean-up spy), and only
// then does the DLL say it may be unloaded; after that FreeLibrary and the
// process's exit run cleanly. The DLL is loaded directly, as COM loads an
// in-process server, so that its unloading can be watched.
//
//   threads_test DLL                  two client threads, then unload
//   threads_test DLL --exit-with-objects
//       the process ends with an object alive and its apartment open; the
//       exit status must still be 0 (nothing crashes on the way out)
#include <cstring>
#include <string>
#include <thread>

#include "server/server_test.h"

namespace {

using namespace qorvel::server::testing;

HMODULE g_module = nullptr;

FARPROC Entry(const char* name) { return g_module ? GetProcAddress(g_module, name) : nullptr; }
HRESULT CanUnloadNow() { return reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(Entry("DllCanUnloadNow")))(); }

// An object of the server's, from its class factory; null on failure.
ComPtr<::_KX> Create() {
  ComPtr<::_KX> kx = CreateKx(g_module);
  CHECK(kx);
  return kx;
}

// A lookup with a path, so that the thread opens (or tries to open) its own
// connection; with a null path, the default at once.
void Lookups(::_KX* kx) {
  Bstr path(u"Z:\\no such folder\\billing.mdb");
  long people = 417;
  CY amount{};
  CHECK_EQ(kx->CreditAmount(path.get(), &people, &amount), S_OK);
  CHECK_EQ(kx->CreditAmount(nullptr, &people, &amount), S_OK);
  CHECK_EQ(amount.int64, 0LL);
}

// One client thread: two objects used and released, then it waits for
// `may_finish` before its apartment ends.
void Client(Event& objects_released, Event& may_finish) {
  {
    Apartment apartment;
    CHECK_EQ(apartment.status(), S_OK);
    for (int k = 0; k < 2; ++k) {
      if (const ComPtr<::_KX> kx = Create()) Lookups(kx.get());
    }
    objects_released.Set();
    may_finish.Wait();
  }  // CoUninitialize: the spy releases this thread's module data here
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: threads_test DLL [--exit-with-objects]\n");
    return 2;
  }
  // The host of the exit test enters its apartment before COM would load
  // the server.
  const bool exit_with_objects = argc == 3 && std::strcmp(argv[2], "--exit-with-objects") == 0;
  if (exit_with_objects) CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Group("load");
  g_module = LoadLibraryW(WindowsPath(argv[1]).c_str());
  if (!CHECK(Entry("DllGetClassObject") && Entry("DllCanUnloadNow"))) return Finish();

  if (exit_with_objects) {
    Group("exit with objects");
    if (ComPtr<::_KX> kx = Create()) {
      Lookups(kx.get());
      kx->AddRef();  // a reference deliberately never released; no CoUninitialize, no FreeLibrary
    }
    return Finish();
  }

  CHECK_EQ(CanUnloadNow(), S_OK);
  Group("two client threads");
  Event released[2], may_finish[2];
  std::thread clients[2] = {std::thread(Client, std::ref(released[0]), std::ref(may_finish[0])),
                            std::thread(Client, std::ref(released[1]), std::ref(may_finish[1]))};
  released[0].Wait();
  released[1].Wait();
  // No object is left, but both threads' apartments, and the connections
  // that belong to them, are alive: the DLL must stay.
  CHECK_EQ(CanUnloadNow(), S_FALSE);
  may_finish[0].Set();
  clients[0].join();
  CHECK_EQ(CanUnloadNow(), S_FALSE);
  may_finish[1].Set();
  clients[1].join();

  Group("unload");
  CHECK_EQ(CanUnloadNow(), S_OK);
  CHECK(FreeLibrary(g_module));
  // A thread that starts and ends after the unload runs none of the DLL's
  // code; the process then exits through the normal path.
  std::thread([] {}).join();
  return Finish();
}
