#include "controlobject_win.h"

#include <ocidl.h>
#include <oleauto.h>

#include <algorithm>
#include <new>
#include <utility>

namespace opos {

const CLSID kClsidCashDrawer = {0xCCB90042, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}};
const CLSID kClsidLineDisplay = {0xCCB90102, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}};
const CLSID kClsidMsr = {0xCCB90122, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}};

Args::~Args() {
  for (VARIANT& v : values_) VariantClear(&v);
}

Args& Args::Long(long value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  values_.push_back(v);
  return *this;
}

Args& Args::Text(std::wstring_view value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  values_.push_back(v);
  return *this;
}

namespace {

// The sink a container hands to the object's connection point: it answers
// the source interface found at run time and passes every call on.
class EventSink : public IDispatch {
 public:
  EventSink(const IID& iid, ControlObject::EventHandler handler) : iid_(iid), handler_(std::move(handler)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, iid_)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    DISPPARAMS none{};
    if (handler_) handler_(id, params ? *params : none);
    return S_OK;
  }

 private:
  virtual ~EventSink() = default;
  LONG refs_ = 1;
  IID iid_;
  ControlObject::EventHandler handler_;
};

template <typename T>
void SafeRelease(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

}  // namespace

bool ControlObject::Create(const CLSID& clsid) {
  Reset();
  return SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                    IID_IDispatch, reinterpret_cast<void**>(&object_)));
}

void ControlObject::Reset() {
  Unadvise();
  SafeRelease(object_);
}

HRESULT ControlObject::Invoke(DISPID id, WORD flags, std::vector<VARIANT>& args, VARIANT* result) {
  if (!object_) return E_POINTER;
  // Automation takes the arguments last first.
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  EXCEPINFO exception{};
  UINT badArgument = 0;
  const HRESULT hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                     &exception, &badArgument);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return hr;
}

long ControlObject::CallLong(DISPID id, Args&& args, long failure) {
  VARIANT result;
  VariantInit(&result);
  long value = failure;
  if (SUCCEEDED(Invoke(id, DISPATCH_METHOD, args.values(), &result))) {
    if (result.vt == VT_EMPTY) {
      value = 0;
    } else if (SUCCEEDED(VariantChangeType(&result, &result, 0, VT_I4))) {
      value = result.lVal;
    }
  }
  VariantClear(&result);
  return value;
}

void ControlObject::PutBool(DISPID id, bool value) {
  Args args;
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  args.values().push_back(v);
  Invoke(id, DISPATCH_PROPERTYPUT, args.values(), nullptr);
}

void ControlObject::PutLong(DISPID id, long value) {
  Args args;
  args.Long(value);
  Invoke(id, DISPATCH_PROPERTYPUT, args.values(), nullptr);
}

long ControlObject::GetLong(DISPID id, long failure) {
  std::vector<VARIANT> none;
  VARIANT result;
  VariantInit(&result);
  long value = failure;
  if (SUCCEEDED(Invoke(id, DISPATCH_PROPERTYGET, none, &result)) &&
      SUCCEEDED(VariantChangeType(&result, &result, 0, VT_I4))) {
    value = result.lVal;
  }
  VariantClear(&result);
  return value;
}

bool ControlObject::GetBool(DISPID id) {
  std::vector<VARIANT> none;
  VARIANT result;
  VariantInit(&result);
  bool value = false;
  if (SUCCEEDED(Invoke(id, DISPATCH_PROPERTYGET, none, &result)) &&
      SUCCEEDED(VariantChangeType(&result, &result, 0, VT_BOOL))) {
    value = result.boolVal != VARIANT_FALSE;
  }
  VariantClear(&result);
  return value;
}

std::wstring ControlObject::GetString(DISPID id) {
  std::vector<VARIANT> none;
  VARIANT result;
  VariantInit(&result);
  std::wstring value;
  if (SUCCEEDED(Invoke(id, DISPATCH_PROPERTYGET, none, &result)) &&
      SUCCEEDED(VariantChangeType(&result, &result, 0, VT_BSTR)) && result.bstrVal) {
    value.assign(result.bstrVal, SysStringLen(result.bstrVal));
  }
  VariantClear(&result);
  return value;
}

bool ControlObject::Advise(EventHandler handler) {
  Unadvise();
  if (!object_) return false;
  IConnectionPointContainer* container = nullptr;
  if (FAILED(object_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)))) {
    return false;
  }
  // The default source interface, as the object itself names it; else the
  // first connection point it lists.
  IID source = IID_NULL;
  IProvideClassInfo2* info = nullptr;
  if (SUCCEEDED(object_->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&info)))) {
    if (FAILED(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source))) source = IID_NULL;
    info->Release();
  }
  IConnectionPoint* point = nullptr;
  if (!IsEqualIID(source, IID_NULL)) {
    if (FAILED(container->FindConnectionPoint(source, &point))) point = nullptr;
  }
  if (!point) {
    IEnumConnectionPoints* points = nullptr;
    if (SUCCEEDED(container->EnumConnectionPoints(&points)) && points) {
      ULONG fetched = 0;
      if (points->Next(1, &point, &fetched) != S_OK || fetched != 1) point = nullptr;
      points->Release();
    }
    if (point && FAILED(point->GetConnectionInterface(&source))) SafeRelease(point);
  }
  container->Release();
  if (!point) return false;
  auto* sink = new (std::nothrow) EventSink(source, std::move(handler));
  if (!sink) {
    point->Release();
    return false;
  }
  const HRESULT hr = point->Advise(sink, &cookie_);
  sink->Release();  // the connection point holds its own reference
  if (FAILED(hr)) {
    point->Release();
    return false;
  }
  point_ = point;
  return true;
}

void ControlObject::Unadvise() {
  if (point_) point_->Unadvise(cookie_);
  SafeRelease(point_);
  cookie_ = 0;
}

}  // namespace opos
