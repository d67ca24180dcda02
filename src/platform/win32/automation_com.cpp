// The decoder reached through COM: the running object of the ProgID, called by name through
// IDispatch. A decoder whose process has gone detaches this backend, so the station attaches
// again on its next cycle and picks up a decoder that was restarted.
//
// COM itself waits for an answer without limit. A message filter bounds every call into the
// decoder: while a call waits, a thread timer makes COM ask the filter, and the filter cancels
// the call once it has taken longer than the time-out. A frozen decoder so costs a cycle at most
// the time-out, and is treated like one that has gone.

#include "platform/win32/automation_com.h"

#include <objbase.h>

#include <string>

#include "platform/system.h"
#include "platform/win32/ansi_text.h"

namespace nimbrix {

namespace {

std::string NarrowBstr(BSTR text) {
  if (text == nullptr) return {};
  const int size = static_cast<int>(SysStringLen(text));
  if (size == 0) return {};
  const int length = WideCharToMultiByte(CP_ACP, 0, text, size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, size, bytes.data(), length, nullptr, nullptr);
  return bytes;
}

void FreeExcepInfo(EXCEPINFO& info) {
  if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  info = EXCEPINFO{};
}

// Cancels the outgoing call that is waited for longer than the time-out.
class CallTimeoutFilter final : public IMessageFilter {
 public:
  virtual ~CallTimeoutFilter() = default;
  void Start(DWORD timeoutMs) {
    startTick_ = GetTickCount();
    timeoutMs_ = timeoutMs;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMessageFilter)) {
      *out = static_cast<IMessageFilter*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // Lives as long as the backend that owns it.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
    return SERVERCALL_ISHANDLED;
  }
  // A busy decoder is not asked again: the cycle moves on.
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override {
    return static_cast<DWORD>(-1);
  }
  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
    return GetTickCount() - startTick_ >= timeoutMs_ ? PENDINGMSG_CANCELCALL
                                                     : PENDINGMSG_WAITDEFPROCESS;
  }

 private:
  DWORD startTick_ = 0;
  DWORD timeoutMs_ = 0;
};

// Bounds the calls made while it lives by the filter's time-out.
class BoundedCall {
 public:
  BoundedCall(CallTimeoutFilter& filter, DWORD timeoutMs)
      : timer_(SetTimer(nullptr, 0, kTimerTickMs, nullptr)) {
    filter.Start(timeoutMs);
  }
  ~BoundedCall() {
    if (timer_ != 0) KillTimer(nullptr, timer_);
  }
  BoundedCall(const BoundedCall&) = delete;
  BoundedCall& operator=(const BoundedCall&) = delete;

 private:
  static constexpr UINT kTimerTickMs = 50;
  UINT_PTR timer_;
};

class ComAutomation : public Automation {
 public:
  explicit ComAutomation(DWORD callTimeoutMs) : callTimeoutMs_(callTimeoutMs) {}
  ~ComAutomation() override { Release(); }

  bool Attach(std::string_view progId) override {
    Detach();
    if (!comStarted_) {
      // A single-threaded apartment, as the one thread of the program needs.
      const HRESULT started = CoInitialize(nullptr);
      if (FAILED(started)) return false;
      comStarted_ = true;
      IMessageFilter* previous = nullptr;
      CoRegisterMessageFilter(&filter_, &previous);
      if (previous != nullptr) previous->Release();
    }
    const std::wstring name = Widen(progId);
    if (name.empty() || name.find(L'\0') != std::wstring::npos) return false;
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(name.c_str(), &clsid))) return false;
    // Only an object that is already running: a decoder is never started from here.
    BoundedCall bound(filter_, callTimeoutMs_);
    IUnknown* running = nullptr;
    if (FAILED(GetActiveObject(clsid, nullptr, &running)) || running == nullptr) return false;
    IDispatch* dispatch = nullptr;
    const HRESULT asked =
        running->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    running->Release();
    if (FAILED(asked) || dispatch == nullptr) return false;
    object_ = dispatch;
    return true;
  }

  bool IsAttached() const override { return object_ != nullptr; }

  CallResult Call(std::string_view member, std::int16_t argument) override {
    if (object_ == nullptr) return {Variant::Empty(), CallOutcome::kUnresponsive};
    BoundedCall bound(filter_, callTimeoutMs_);
    std::wstring wideName = Widen(member);
    LPOLESTR names[1] = {wideName.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT result = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
    if (FAILED(result)) return Failure(result);

    VARIANTARG arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_I2;
    V_I2(&arg) = argument;
    DISPPARAMS params{&arg, nullptr, 1, 0};
    VARIANT answer;
    VariantInit(&answer);
    EXCEPINFO exception{};
    UINT argError = 0;
    result = object_->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_PROPERTYGET, &params,
                             &answer, &exception, &argError);
    FreeExcepInfo(exception);
    Variant value = VariantFromCom(answer);
    VariantClear(&answer);
    if (FAILED(result)) return Failure(result);
    return {std::move(value), CallOutcome::kOk};
  }

  void Release() override {
    Detach();
    if (comStarted_) {
      IMessageFilter* ours = nullptr;
      CoRegisterMessageFilter(nullptr, &ours);
      CoUninitialize();
      comStarted_ = false;
    }
  }

 private:
  CallResult Failure(HRESULT result) {
    if (!IsDisconnection(result)) return {Variant::Empty(), CallOutcome::kFailed};
    Detach();
    return {Variant::Empty(), CallOutcome::kUnresponsive};
  }

  void Detach() {
    if (object_ == nullptr) return;
    object_->Release();
    object_ = nullptr;
  }

  CallTimeoutFilter filter_;
  DWORD callTimeoutMs_;
  IDispatch* object_ = nullptr;
  bool comStarted_ = false;
};

}  // namespace

bool IsDisconnection(HRESULT result) {
  switch (static_cast<unsigned long>(result)) {
    case 0x800706BAul:  // RPC_S_SERVER_UNAVAILABLE: the process has ended
    case 0x800706BEul:  // RPC_S_CALL_FAILED
    case 0x800706BFul:  // RPC_S_CALL_FAILED_DNE
    case 0x80010108ul:  // RPC_E_DISCONNECTED
    case 0x80010007ul:  // RPC_E_SERVER_DIED
    case 0x80010012ul:  // RPC_E_SERVER_DIED_DNE
    case 0x800401FDul:  // CO_E_OBJNOTCONNECTED
    case 0x8001011Ful:  // RPC_E_TIMEOUT
    case 0x80010002ul:  // RPC_E_CALL_CANCELED
    case 0x80010001ul:  // RPC_E_CALL_REJECTED: busy, try again next cycle
      return true;
    default:
      return false;
  }
}

Variant VariantFromCom(const VARIANT& value) {
  switch (V_VT(&value)) {
    case VT_I1:
      return Variant::Signed(V_I1(&value), VT_I1);
    case VT_I2:
      return Variant::Signed(V_I2(&value), VT_I2);
    case VT_I4:
      return Variant::Signed(V_I4(&value), VT_I4);
    case VT_I8:
      return Variant::Signed(V_I8(&value), VT_I8);
    case VT_INT:
      return Variant::Signed(V_INT(&value), VT_INT);
    case VT_CY:  // the raw integer, value times 10000
      return Variant::Signed(V_CY(&value).int64, VT_CY);
    case VT_UI1:
      return Variant::Unsigned(V_UI1(&value), VT_UI1);
    case VT_UI2:
      return Variant::Unsigned(V_UI2(&value), VT_UI2);
    case VT_UI4:
      return Variant::Unsigned(V_UI4(&value), VT_UI4);
    case VT_UI8:
      return Variant::Unsigned(V_UI8(&value), VT_UI8);
    case VT_UINT:
      return Variant::Unsigned(V_UINT(&value), VT_UINT);
    case VT_R4:  // every float is exactly a double
      return Variant::Real(V_R4(&value), VT_R4);
    case VT_R8:
      return Variant::Real(V_R8(&value), VT_R8);
    case VT_DATE:
      return Variant::Real(V_DATE(&value), VT_DATE);
    case VT_BOOL:
      return Variant::Boolean(V_BOOL(&value) != VARIANT_FALSE);
    case VT_BSTR:
      return Variant::Text(NarrowBstr(V_BSTR(&value)));
    case VT_NULL:
      return Variant{VT_NULL, std::monostate{}};
    default:
      return Variant::Empty();
  }
}

std::unique_ptr<Automation> MakeComAutomation(unsigned long callTimeoutMs) {
  return std::make_unique<ComAutomation>(callTimeoutMs);
}

std::unique_ptr<Automation> MakeSystemAutomation() {
  return MakeComAutomation(kComCallTimeoutMs);
}

}  // namespace nimbrix
