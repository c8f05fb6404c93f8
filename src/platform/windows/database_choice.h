// Which database serves a connection on Windows: the system's data access
// objects with a registered provider (Jet, else ACE 12, else ACE 16; see
// ado_database.h), or QORVEL's own engine (platform/jet_database.h), which
// reads the same files and needs nothing installed.
//
// The engine serves where no provider is registered (a 64-bit Windows
// without the Access Database Engine), and everywhere when the setting
// "Engine" under HKEY_CURRENT_USER\Software\QORVEL (or, when the user has
// none, under HKEY_LOCAL_MACHINE\Software\QORVEL) is the text "built-in":
// the same results on every machine. "provider", or no setting, keeps the
// providers first. The choice is made when a thread's connection is
// created, and holds for its life.
#ifndef QORVEL_PLATFORM_WINDOWS_DATABASE_CHOICE_H_
#define QORVEL_PLATFORM_WINDOWS_DATABASE_CHOICE_H_

#include <memory>

#include "qorvel/env.h"

namespace qorvel::platform::windows {

// Whether the setting asks for the engine wherever a provider is registered.
bool BuiltInEngineChosen();

// Whether a new connection goes through the data access objects.
bool ConnectThroughProvider();

// A recordset that runs on whichever kind of connection it is opened on: the
// data access objects' recordset for their connection, the engine's for
// the engine's. It is made when opened.
class ChosenRecordset final : public Recordset {
 public:
  void Open(const Text& source, Connection& active_connection, Long cursor_type, Long lock_type,
            Long options) override;
  bool Eof() const override;
  Variant Field(Integer index) const override;
  void MoveNext() override;
  void Close() override;

 private:
  Recordset& Opened() const;

  std::unique_ptr<Recordset> recordset_;
};

}  // namespace qorvel::platform::windows

#endif  // QORVEL_PLATFORM_WINDOWS_DATABASE_CHOICE_H_
