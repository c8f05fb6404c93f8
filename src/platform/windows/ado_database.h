// The database connection and recordset on Windows: the system's data
// access objects (ProgIDs "ADODB.Connection" and "ADODB.Recordset"),
// created by ProgID and driven late bound through IDispatch, so the
// component depends on no particular version of their type library.
//
// Provider fallback: 64-bit Windows has no Jet provider. When the provider
// asked for is "Microsoft.Jet.OLEDB.4.0" and no such ProgID is registered,
// the connection uses "Microsoft.ACE.OLEDB.12.0" or else
// "Microsoft.ACE.OLEDB.16.0", whichever is registered first (the ACE
// provider reads the same database files with the same connection string).
// Where the Jet provider is registered it is used as asked.
//
// Every failing operation raises an AutomationError whose number is the
// failing HRESULT read as a Long and whose description is the provider's
// text. Objects belong to the thread that made them and must be used on
// it; the calling thread must be in a COM apartment.
#ifndef QORVEL_PLATFORM_WINDOWS_ADO_DATABASE_H_
#define QORVEL_PLATFORM_WINDOWS_ADO_DATABASE_H_

#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "platform/providers.h"
#include "platform/windows/com.h"
#include "qorvel/env.h"

namespace qorvel::platform::windows {


// Whether a ProgID is registered on this machine.
bool IsProgIdRegistered(const Text& prog_id);

// The provider a connection uses when `asked` is asked for (see above).
Text ChooseProvider(const Text& asked);

// Arguments of one IDispatch call, in the order the method declares them;
// cleared when the list goes away.
class DispatchArgs {
 public:
  DispatchArgs() = default;
  DispatchArgs(const DispatchArgs&) = delete;
  DispatchArgs& operator=(const DispatchArgs&) = delete;
  ~DispatchArgs();

  DispatchArgs& AddText(const Text& value);
  DispatchArgs& AddLong(Long value);
  DispatchArgs& AddInteger(Integer value);
  // Holds a reference to `value` while the list lives.
  DispatchArgs& AddDispatch(IDispatch* value);

  std::vector<VARIANT>& values() { return values_; }

 private:
  // Appends one argument of `type`; `set` stores its value.
  template <class Set>
  DispatchArgs& Append(VARTYPE type, Set&& set);

  std::vector<VARIANT> values_;
};

// A late-bound automation object.
class DispatchObject {
 public:
  DispatchObject() = default;
  explicit DispatchObject(ComPtr<IDispatch> object) : object_(std::move(object)) {}

  // Creates the object registered under `prog_id` in process.
  static DispatchObject Create(const wchar_t* prog_id);

  IDispatch* get() const { return object_.get(); }

  // Reads a property, or calls a method with `args` and returns its result.
  void Get(const wchar_t* name, VariantValue& result, DispatchArgs* args = nullptr) const;
  void Call(const wchar_t* name, DispatchArgs& args) const;
  void Put(const wchar_t* name, DispatchArgs& value) const;

 private:
  DISPID Id(const wchar_t* name) const;
  void Invoke(const wchar_t* name, WORD flags, DispatchArgs* args, VARIANT* result) const;

  ComPtr<IDispatch> object_;
};

class AdoConnection final : public Connection {
 public:
  // Creates the system's Connection object (raises when it cannot).
  AdoConnection();

  Long State() const override;
  void SetProvider(const Text& provider) override;
  void Open(const Text& connection_string, const Text& user_id, const Text& password, Long options) override;
  void Close() override;

  IDispatch* dispatch() const { return object_.get(); }

 private:
  DispatchObject object_;
};

class AdoRecordset final : public Recordset {
 public:
  // Creates the system's Recordset object (raises when it cannot).
  AdoRecordset();

  // Precondition: `active_connection` is an AdoConnection (raises 5 if not).
  void Open(const Text& source, Connection& active_connection, Long cursor_type, Long lock_type,
            Long options) override;
  bool Eof() const override;
  Variant Field(Integer index) const override;
  void MoveNext() override;
  void Close() override;

 private:
  DispatchObject object_;
};

}  // namespace qorvel::platform::windows

#endif  // QORVEL_PLATFORM_WINDOWS_ADO_DATABASE_H_
