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

using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();

struct Server {
  explicit Server(const std::wstring& dll) : module(LoadLibraryW(dll.c_str())) {
    if (module == nullptr) return;
    get_class_object = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    can_unload_now = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  }
  HMODULE module = nullptr;
  GetClassObject get_class_object = nullptr;
  CanUnloadNow can_unload_now = nullptr;
};

struct ClientSteps {
  qorvel::wintest::Event objects_released;  // the thread has used and released its objects
  qorvel::wintest::Event may_finish;        // main has looked; the thread may end its apartment
};

// One client thread: two objects, formatters and lookups (one with a path,
// so that the thread opens, or tries to open, its own connection).
void Client(const Server& server, ClientSteps& steps, int number) {
  {
    qorvel::server::testing::Apartment apartment;
    CHECK_EQ(apartment.status(), S_OK);
    qorvel::server::ComPtr<IClassFactory> factory;
    CHECK_EQ(server.get_class_object(CLSID_KX, IID_IClassFactory,
                                     reinterpret_cast<void**>(factory.Receive())),
             S_OK);
    for (int k = 0; k < 2 && factory; ++k) {
      qorvel::server::ComPtr<::_KX> kx;
      if (!CHECK_EQ(factory->CreateInstance(nullptr, IID__KX, reinterpret_cast<void**>(kx.Receive())), S_OK)) {
        continue;
      }
      qorvel::server::Bstr zip(u"123456789"), result, date_format, path(u"Z:\\no such folder\\billing.mdb");
      CHECK_EQ(kx->FormatZip(zip.get(), result.Receive()), S_OK);
      CHECK_EQ(qorvel::server::FromBstr(result.get()), std::u16string(u"12345-6789"));
      CHECK_EQ(kx->GetDateFormat(date_format.Receive()), S_OK);
      long people = 417 + number;
      CY amount{};
      CHECK_EQ(kx->CreditAmount(path.get(), &people, &amount), S_OK);
      CHECK_EQ(kx->CreditAmount(nullptr, &people, &amount), S_OK);
      CHECK_EQ(amount.int64, 0LL);
    }
    factory.Reset();
    steps.objects_released.Set();
    steps.may_finish.Wait();
  }  // CoUninitialize: the spy releases this thread's module data here
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: threads_test DLL [--exit-with-objects]\n");
    return 2;
  }
  const std::wstring dll = check::WindowsPath(argv[1]);

  // The host of the exit test enters its apartment before COM would load
  // the server.
  const bool exit_with_objects = argc == 3 && std::strcmp(argv[2], "--exit-with-objects") == 0;
  if (exit_with_objects) CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  GROUP("load");
  Server server(dll);
  if (!CHECK(server.get_class_object && server.can_unload_now)) return check::Finish();

  if (exit_with_objects) {
    GROUP("exit with objects");
    IClassFactory* factory = nullptr;
    ::_KX* kx = nullptr;
    if (CHECK_EQ(server.get_class_object(CLSID_KX, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK) &&
        CHECK_EQ(factory->CreateInstance(nullptr, IID__KX, reinterpret_cast<void**>(&kx)), S_OK)) {
      qorvel::server::Bstr path(u"Z:\\no such folder\\billing.mdb");
      long people = 1;
      CY amount{};
      CHECK_EQ(kx->CreditAmount(path.get(), &people, &amount), S_OK);
    }
    // Deliberately nothing released, no CoUninitialize, no FreeLibrary.
    return check::Finish();
  }

  CHECK_EQ(server.can_unload_now(), S_OK);

  GROUP("two client threads");
  ClientSteps steps[2];
  std::thread clients[2] = {std::thread(Client, std::cref(server), std::ref(steps[0]), 0),
                            std::thread(Client, std::cref(server), std::ref(steps[1]), 1)};
  steps[0].objects_released.Wait();
  steps[1].objects_released.Wait();
  // No object is left, but both threads' apartments, and the connections
  // that belong to them, are alive: the DLL must stay.
  CHECK_EQ(server.can_unload_now(), S_FALSE);
  steps[0].may_finish.Set();
  clients[0].join();
  CHECK_EQ(server.can_unload_now(), S_FALSE);
  steps[1].may_finish.Set();
  clients[1].join();

  GROUP("unload");
  CHECK_EQ(server.can_unload_now(), S_OK);
  CHECK(FreeLibrary(server.module));
  // A thread that starts and ends after the unload runs none of the DLL's
  // code; the process then exits through the normal path.
  std::thread([] {}).join();
  return check::Finish();
}
