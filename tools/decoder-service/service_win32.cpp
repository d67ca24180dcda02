// The service on Windows: the decoder's Automation object in the running object table. A plain
// IDispatch whose one member GETSONDEDATA(item) returns the item's VARIANT, registered under
// the ProgID "SondeMonitor.Document", so NIMBRIX finds it as it finds the real decoder.

// clang-format off
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
// clang-format on

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

#include "decoder-service/service_platform.h"
#include "platform/win32/ansi_text.h"

namespace decoder {

namespace {

// {6E3A1F52-9C4B-4D8E-A1B7-3F5D2C8E9A41}
constexpr CLSID kDocumentClsid = {
    0x6e3a1f52, 0x9c4b, 0x4d8e, {0xa1, 0xb7, 0x3f, 0x5d, 0x2c, 0x8e, 0x9a, 0x41}};
constexpr wchar_t kClsidText[] = L"{6E3A1F52-9C4B-4D8E-A1B7-3F5D2C8E9A41}";
constexpr DISPID kGetSondeDataId = 1;

std::wstring FromUtf8(const std::string& text) {
  return nimbrix::Widen(text, CP_UTF8);
}

// The contract's names, as the COM and registry calls take them.
const std::wstring kProgId = FromUtf8(nimbrix::kDecoderProgId);
const std::wstring kMemberName = FromUtf8(nimbrix::kSondeDataMember);

std::int64_t AsInteger(const Answer& a) {
  if (auto* i = std::get_if<std::int64_t>(&a.value)) return *i;
  if (auto* u = std::get_if<std::uint64_t>(&a.value)) return static_cast<std::int64_t>(*u);
  if (auto* d = std::get_if<double>(&a.value)) {
    return *d >= -9.2e18 && *d <= 9.2e18 ? static_cast<std::int64_t>(*d) : 0;
  }
  if (auto* b = std::get_if<bool>(&a.value)) return *b ? 1 : 0;
  return 0;
}

double AsReal(const Answer& a) {
  if (auto* d = std::get_if<double>(&a.value)) return *d;
  if (auto* i = std::get_if<std::int64_t>(&a.value)) return static_cast<double>(*i);
  if (auto* u = std::get_if<std::uint64_t>(&a.value)) return static_cast<double>(*u);
  if (auto* b = std::get_if<bool>(&a.value)) return *b ? 1 : 0;
  return 0;
}

// The answer as a VARIANT of its VARTYPE. A VARIANT has one type only, so the D-Bus type
// override of a script has no meaning here and a value of another kind is converted.
void ToVariant(const Answer& a, VARIANT* out) {
  VariantInit(out);
  const std::uint16_t vt = a.vt;
  const std::int64_t i = AsInteger(a);
  switch (vt) {
    case VT_NULL:
      break;
    case VT_I1:
      V_I1(out) = static_cast<CHAR>(i);
      break;
    case VT_I2:
      V_I2(out) = static_cast<SHORT>(i);
      break;
    case VT_I4:
      V_I4(out) = static_cast<LONG>(i);
      break;
    case VT_INT:
      V_INT(out) = static_cast<INT>(i);
      break;
    case VT_I8:
      V_I8(out) = i;
      break;
    case VT_CY:
      V_CY(out).int64 = i;
      break;
    case VT_UI1:
      V_UI1(out) = static_cast<BYTE>(i);
      break;
    case VT_UI2:
      V_UI2(out) = static_cast<USHORT>(i);
      break;
    case VT_UI4:
      V_UI4(out) = static_cast<ULONG>(i);
      break;
    case VT_UINT:
      V_UINT(out) = static_cast<UINT>(i);
      break;
    case VT_UI8:
      V_UI8(out) = static_cast<ULONGLONG>(i);
      break;
    case VT_R4:
      V_R4(out) = static_cast<float>(AsReal(a));
      break;
    case VT_R8:
      V_R8(out) = AsReal(a);
      break;
    case VT_DATE:
      V_DATE(out) = AsReal(a);
      break;
    case VT_BOOL:
      V_BOOL(out) = i != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case VT_BSTR: {
      const std::string* s = std::get_if<std::string>(&a.value);
      const std::wstring wide = FromUtf8(s ? *s : std::string());
      V_BSTR(out) = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
      break;
    }
    default:
      return;  // VT_EMPTY, and codes a VARIANT cannot carry by value
  }
  V_VT(out) = vt;
}

// The document object. Calls arrive on RPC threads (multi-threaded apartment): one at a time.
class SondeDocument final : public IDispatch {
 public:
  explicit SondeDocument(AnswerSource source) : source_(std::move(source)) {}
  virtual ~SondeDocument() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
    HRESULT result = S_OK;
    for (UINT n = 0; n < count; ++n) {
      // Automation names are case-insensitive.
      const bool known =
          n == 0 && names[0] != nullptr && lstrcmpiW(names[0], kMemberName.c_str()) == 0;
      ids[n] = known ? kGetSondeDataId : DISPID_UNKNOWN;
      if (!known) result = DISP_E_UNKNOWNNAME;
    }
    return result;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argError) override {
    if (id != kGetSondeDataId) return DISP_E_MEMBERNOTFOUND;
    if ((flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) == 0) return DISP_E_MEMBERNOTFOUND;
    if (params == nullptr || params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    VARIANT index;
    VariantInit(&index);
    if (FAILED(VariantChangeType(&index, &params->rgvarg[0], 0, VT_I2))) {
      if (argError != nullptr) *argError = 0;
      return DISP_E_TYPEMISMATCH;
    }
    std::optional<Answer> answer;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      answer = source_(V_I2(&index));
    }
    if (!answer) return DISP_E_BADINDEX;
    if (answer->kind == Answer::Kind::kNoReply) {
      Sleep(60000);
      return E_FAIL;
    }
    if (answer->kind == Answer::Kind::kError) {
      if (exception != nullptr) {
        *exception = EXCEPINFO{};
        exception->scode = DISP_E_EXCEPTION;
        exception->bstrSource = SysAllocString(kProgId.c_str());
        const std::wstring text = FromUtf8(answer->errorName + ": " + answer->errorText);
        exception->bstrDescription = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      }
      return DISP_E_EXCEPTION;
    }
    if (result != nullptr) ToVariant(*answer, result);
    return S_OK;
  }

 private:
  std::atomic<ULONG> references_{1};
  std::mutex mutex_;
  AnswerSource source_;
};

// The console's control events end the service; the handler has no context, so the event it
// sets is the process's one service at a time.
std::atomic<HANDLE> consoleStop{nullptr};

BOOL WINAPI OnConsoleControl(DWORD type) {
  HANDLE stop = consoleStop.load();
  if (stop == nullptr) return FALSE;
  SetEvent(stop);
  // Closing the console, logging off and shutting down end the process when the handler
  // returns: wait here until Run() has revoked the object and the program has ended with 0.
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) Sleep(10000);
  return TRUE;
}

// A running object under our CLSID that still answers: a stale entry of a process that died
// fails the call.
bool AnotherDecoderRuns() {
  IUnknown* running = nullptr;
  if (FAILED(GetActiveObject(kDocumentClsid, nullptr, &running)) || running == nullptr) {
    return false;
  }
  IDispatch* dispatch = nullptr;
  const bool answers =
      SUCCEEDED(running->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
  UINT count = 0;
  const bool alive = answers && SUCCEEDED(dispatch->GetTypeInfoCount(&count));
  if (dispatch != nullptr) dispatch->Release();
  running->Release();
  return alive;
}

}  // namespace

bool SetKeyValue(const std::wstring& path, const wchar_t* value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const DWORD bytes = static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(wchar_t));
  const bool ok = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                 bytes) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

bool RegisterProgId() {
  const std::wstring classes = L"Software\\Classes\\";
  return SetKeyValue(classes + kProgId, L"SondeMonitor Document") &&
         SetKeyValue(classes + kProgId + L"\\CLSID", kClsidText) &&
         SetKeyValue(classes + L"CLSID\\" + kClsidText, L"SondeMonitor Document") &&
         SetKeyValue(classes + L"CLSID\\" + kClsidText + L"\\ProgID", kProgId.c_str());
}

namespace {

class ComService final : public Service::Platform {
 public:
  ComService(ServiceOptions o, AnswerSource s) : options(std::move(o)), source(std::move(s)) {
    stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  ~ComService() override {
    if (stop != nullptr) CloseHandle(stop);
  }

  int Fail(const char* what, HRESULT result) const {
    std::fprintf(stderr, "%s: %s: 0x%08lx\n", options.program.c_str(), what,
                 static_cast<unsigned long>(result));
    return 1;
  }

  int Run() override {
    if (stop == nullptr) return Fail("cannot create an event", HRESULT_FROM_WIN32(GetLastError()));
    const HRESULT initialised = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(initialised)) return Fail("CoInitializeEx failed", initialised);
    const int code = Serve();
    CoUninitialize();
    return code;
  }

  int Serve() {
    // RegisterActiveObject would register a second object beside the first one.
    if (AnotherDecoderRuns()) {
      std::fprintf(stderr,
                   "%s: SondeMonitor.Document is already registered as the running object "
                   "(another decoder or bridge is running)\n",
                   options.program.c_str());
      return 1;
    }
    auto* document = new SondeDocument(source);
    DWORD cookie = 0;
    const HRESULT registered =
        RegisterActiveObject(document, kDocumentClsid, ACTIVEOBJECT_STRONG, &cookie);
    if (FAILED(registered)) {
      document->Release();
      return Fail("RegisterActiveObject failed", registered);
    }
    consoleStop.store(stop);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    if (options.printReady) {
      std::puts("ready");
      std::fflush(stdout);
    }
    // Calls are served on COM's own threads; this one waits for the end.
    const DWORD wait = options.stopAfterSeconds > 0
                           ? static_cast<DWORD>(options.stopAfterSeconds * 1000)
                           : INFINITE;
    const bool stopped = WaitForSingleObject(stop, wait) == WAIT_OBJECT_0;
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    RevokeActiveObject(cookie, nullptr);
    document->Release();
    // A console event sets the event without a request: that ends with 0 too.
    return stopped && StopCode() != kNoStop ? StopCode() : 0;
  }

  void WakeForStop() override { SetEvent(stop); }

  ServiceOptions options;
  AnswerSource source;
  HANDLE stop = nullptr;
};

}  // namespace

std::unique_ptr<Service::Platform> MakePlatformService(ServiceOptions options,
                                                       AnswerSource source) {
  return std::make_unique<ComService>(std::move(options), std::move(source));
}

}  // namespace decoder
