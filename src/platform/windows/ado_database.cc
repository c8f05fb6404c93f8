// Late-bound calls on the system's data access objects.
#include "platform/windows/ado_database.h"

#include "base/text_ops.h"
#include "qorvel/automation_error.h"

namespace qorvel::platform::windows {
namespace {

// The error of a call that failed inside the object: the code it reported
// (its HRESULT, or failing that its own error number) and its description.
[[noreturn]] void RaiseException(EXCEPINFO& info, HRESULT hr) {
  if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
  Bstr description;
  *description.Receive() = info.bstrDescription;
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrHelpFile);
  Long number = static_cast<Long>(hr);
  if (FAILED(info.scode)) {
    number = static_cast<Long>(info.scode);
  } else if (info.wCode != 0) {
    number = info.wCode;
  }
  throw AutomationError(number, description.ToText());
}

}  // namespace

bool IsProgIdRegistered(const Text& prog_id) {
  CLSID clsid{};
  return SUCCEEDED(CLSIDFromProgID(Wide(prog_id), &clsid));
}

Text ChooseProvider(const Text& asked) {
  if (!EqualsIgnoringAsciiCase(asked, kJetProvider) || IsProgIdRegistered(asked)) return asked;
  for (const char16_t* newer : {kAce12Provider, kAce16Provider}) {
    if (IsProgIdRegistered(newer)) return newer;
  }
  return asked;
}

DispatchArgs::~DispatchArgs() {
  for (VARIANT& value : values_) VariantClear(&value);
}

template <class Set>
DispatchArgs& DispatchArgs::Append(VARTYPE type, Set&& set) {
  values_.emplace_back();  // room first: a value once set is owned by the list
  VARIANT& v = values_.back();
  VariantInit(&v);
  set(v);
  V_VT(&v) = type;
  return *this;
}

DispatchArgs& DispatchArgs::AddText(const Text& value) {
  Bstr text(value);
  return Append(VT_BSTR, [&](VARIANT& v) { V_BSTR(&v) = text.Release(); });
}

DispatchArgs& DispatchArgs::AddLong(Long value) {
  return Append(VT_I4, [&](VARIANT& v) { V_I4(&v) = value; });
}

DispatchArgs& DispatchArgs::AddInteger(Integer value) {
  return Append(VT_I2, [&](VARIANT& v) { V_I2(&v) = value; });
}

DispatchArgs& DispatchArgs::AddDispatch(IDispatch* value) {
  return Append(VT_DISPATCH, [&](VARIANT& v) {
    V_DISPATCH(&v) = value;
    if (value != nullptr) value->AddRef();
  });
}

DispatchObject DispatchObject::Create(const wchar_t* prog_id) {
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(prog_id, &clsid);
  if (FAILED(hr)) RaiseForHresult(hr);
  ComPtr<IDispatch> object;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                        reinterpret_cast<void**>(object.Receive()));
  if (FAILED(hr)) RaiseForHresult(hr);
  return DispatchObject(std::move(object));
}

DISPID DispatchObject::Id(const wchar_t* name) const {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  const HRESULT hr = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) RaiseForHresult(hr, object_.get());
  return id;
}

void DispatchObject::Invoke(const wchar_t* name, WORD flags, DispatchArgs* args, VARIANT* result) const {
  DISPID id = Id(name);
  std::vector<VARIANT> reversed;  // IDispatch takes the last argument first
  if (args != nullptr) reversed.assign(args->values().rbegin(), args->values().rend());
  DISPPARAMS params{};
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  params.cArgs = static_cast<UINT>(reversed.size());
  DISPID put = DISPID_PROPERTYPUT;
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  EXCEPINFO exception{};
  UINT bad_argument = 0;
  const HRESULT hr =
      object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &exception, &bad_argument);
  if (hr == DISP_E_EXCEPTION) RaiseException(exception, hr);
  if (FAILED(hr)) RaiseForHresult(hr, object_.get());
}

void DispatchObject::Get(const wchar_t* name, VariantValue& result, DispatchArgs* args) const {
  VariantClear(result.get());
  Invoke(name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, result.get());
}

void DispatchObject::Call(const wchar_t* name, DispatchArgs& args) const {
  VariantValue ignored;
  Invoke(name, DISPATCH_METHOD, &args, ignored.get());
}

void DispatchObject::Put(const wchar_t* name, DispatchArgs& value) const {
  Invoke(name, DISPATCH_PROPERTYPUT, &value, nullptr);
}

// ---------------------------------------------------------------------------
// Connection

AdoConnection::AdoConnection() : object_(DispatchObject::Create(L"ADODB.Connection")) {}

Long AdoConnection::State() const {
  VariantValue state;
  object_.Get(L"State", state);
  const HRESULT hr = VariantChangeType(state.get(), state.get(), 0, VT_I4);
  if (FAILED(hr)) RaiseForHresult(hr);
  return static_cast<Long>(V_I4(state.get()));
}

void AdoConnection::SetProvider(const Text& provider) {
  DispatchArgs value;
  value.AddText(ChooseProvider(provider));
  object_.Put(L"Provider", value);
}

void AdoConnection::Open(const Text& connection_string, const Text& user_id, const Text& password,
                         Long options) {
  DispatchArgs args;
  args.AddText(connection_string).AddText(user_id).AddText(password).AddLong(options);
  object_.Call(L"Open", args);
}

void AdoConnection::Close() {
  DispatchArgs none;
  object_.Call(L"Close", none);
}

// ---------------------------------------------------------------------------
// Recordset

AdoRecordset::AdoRecordset() : object_(DispatchObject::Create(L"ADODB.Recordset")) {}

void AdoRecordset::Open(const Text& source, Connection& active_connection, Long cursor_type, Long lock_type,
                        Long options) {
  auto* connection = dynamic_cast<AdoConnection*>(&active_connection);
  if (connection == nullptr) RaiseInvalidProcedureCall();
  DispatchArgs args;
  args.AddText(source).AddDispatch(connection->dispatch()).AddLong(cursor_type).AddLong(lock_type).AddLong(options);
  object_.Call(L"Open", args);
}

bool AdoRecordset::Eof() const {
  VariantValue eof;
  object_.Get(L"EOF", eof);
  const HRESULT hr = VariantChangeType(eof.get(), eof.get(), 0, VT_BOOL);
  if (FAILED(hr)) RaiseForHresult(hr);
  return V_BOOL(eof.get()) != VARIANT_FALSE;
}

Variant AdoRecordset::Field(Integer index) const {
  VariantValue fields;
  object_.Get(L"Fields", fields);
  if (fields.type() != VT_DISPATCH || V_DISPATCH(fields.get()) == nullptr) RaiseTypeMismatch();
  V_DISPATCH(fields.get())->AddRef();
  const DispatchObject fields_object(ComPtr<IDispatch>::Adopt(V_DISPATCH(fields.get())));

  DispatchArgs item_index;
  item_index.AddInteger(index);
  VariantValue field;
  fields_object.Get(L"Item", field, &item_index);
  if (field.type() != VT_DISPATCH || V_DISPATCH(field.get()) == nullptr) RaiseTypeMismatch();
  V_DISPATCH(field.get())->AddRef();
  const DispatchObject field_object(ComPtr<IDispatch>::Adopt(V_DISPATCH(field.get())));

  VariantValue value;
  field_object.Get(L"Value", value);
  return ToVariant(*value.get());
}

void AdoRecordset::MoveNext() {
  DispatchArgs none;
  object_.Call(L"MoveNext", none);
}

void AdoRecordset::Close() {
  DispatchArgs none;
  object_.Call(L"Close", none);
}

}  // namespace qorvel::platform::windows
