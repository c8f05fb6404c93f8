// modMain: the routines the methods of KX share, and the database
// connection that each thread keeps.
//
// A thread that calls a lookup gets one Connection, created on its first
// lookup and reused while it stays open on the same path. The connection,
// the path it was opened on and whether the connection failure box has been
// shown belong to the thread; nothing here is shared between threads, so
// nothing is locked.
#ifndef QORVEL_MODMAIN_MOD_MAIN_H_
#define QORVEL_MODMAIN_MOD_MAIN_H_

#include <memory>

#include "platform/providers.h"
#include "qorvel/env.h"
#include "qorvel/types.h"
#include "qorvel/variant.h"

namespace qorvel::modmain {

// The provider every lookup's connection asks for.
inline constexpr const char16_t* kProvider = platform::kJetProvider;

// The per-thread module data.
struct ThreadState {
  std::unique_ptr<Connection> DBConnection;  // created on first use
  Text LastDBPath;                                      // path of the last successful open
  bool ConnectErrorShown = false;                       // the failure box was shown
};

// The calling thread's module data.
ThreadState& ThisThread();

// Drops the calling thread's connection and resets its module data, as a
// new thread would have it (for tests, hosts that recycle threads, and the
// Windows server when a thread's apartment closes).
void ResetThisThread();

// The connection string the component opens the database at `DBPath`
// with: the path unchanged, then the component's database password.
Text ConnectionString(const Text& DBPath);

// Opens `connection` on the database at `DBPath` as every lookup's
// connection is opened: the provider "Microsoft.Jet.OLEDB.4.0" set first,
// then Open with the component's connection string, "", "" and -1.
// Precondition: the connection is not open. Raises the connection's errors.
void OpenDatabase(Connection& connection, const Text& DBPath);

// Makes the thread's connection open on `DBPath`: reuses it when it is open
// on exactly that path (case-sensitive), otherwise closes it if open and
// opens it on the path. Returns false after any failure, having shown the
// connection failure box once per thread (naming a URI without its
// password). Never throws.
bool ConnectToDB(Env& env, const Text& DBPath) noexcept;

// The one place where a value that may be Null becomes text: Null gives "0"
// when ZeroIfNull is True (any non-zero value), else ""; any other value its
// text under the user locale. Raises the conversion error of a value that
// has no text.
Text NullToString(const Variant& Value, const Boolean& ZeroIfNull);

// Decodes the stored form of a Social Security number: a non-empty,
// non-numeric text of exactly nine characters becomes the decimal codes of
// its characters (ANSI code minus 64) after a rotation; anything else comes
// back unchanged. Errors go on to the caller with "Error In DecryptSSN" in
// front of their description.
Text DecryptSSN(const Text& SSN);

}  // namespace qorvel::modmain

#endif  // QORVEL_MODMAIN_MOD_MAIN_H_
