// sonde-sim for Windows: the decoder stand-in as a COM server. A plain IDispatch whose one
// member GETSONDEDATA(item) returns the item's VARIANT, registered in the running object table
// under the ProgID "SondeMonitor.Document", so NIMBRIX finds it as it finds the real decoder.
//
//   sonde-sim.exe [--register] [--print-ready] [--seconds N] simulate [--speedup F]
//   sonde-sim.exe [--register] [--print-ready] [--seconds N] script FILE
//   sonde-sim.exe --register
//
// --register writes the ProgID and its class under HKLM\Software\Classes (HKCU is not looked at
// by CLSIDFromProgID under Wine). A script answer "noreply" blocks the call for a minute, as a
// frozen decoder would.

// clang-format off
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
// clang-format on

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "answers.h"
#include "flight_model.h"
#include "script.h"

namespace {

// {6E3A1F52-9C4B-4D8E-A1B7-3F5D2C8E9A41}
constexpr CLSID kDocumentClsid = {
    0x6e3a1f52, 0x9c4b, 0x4d8e, {0xa1, 0xb7, 0x3f, 0x5d, 0x2c, 0x8e, 0x9a, 0x41}};
constexpr wchar_t kClsidText[] = L"{6E3A1F52-9C4B-4D8E-A1B7-3F5D2C8E9A41}";
constexpr wchar_t kProgId[] = L"SondeMonitor.Document";
constexpr DISPID kGetSondeDataId = 1;

using AnswerSource = std::function<std::optional<sondesim::Answer>(std::int16_t index)>;

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::int64_t AsInteger(const sondesim::Answer& a) {
  if (auto* i = std::get_if<std::int64_t>(&a.value)) return *i;
  if (auto* u = std::get_if<std::uint64_t>(&a.value)) return static_cast<std::int64_t>(*u);
  if (auto* d = std::get_if<double>(&a.value)) {
    return *d >= -9.2e18 && *d <= 9.2e18 ? static_cast<std::int64_t>(*d) : 0;
  }
  if (auto* b = std::get_if<bool>(&a.value)) return *b ? 1 : 0;
  return 0;
}

double AsReal(const sondesim::Answer& a) {
  if (auto* d = std::get_if<double>(&a.value)) return *d;
  if (auto* i = std::get_if<std::int64_t>(&a.value)) return static_cast<double>(*i);
  if (auto* u = std::get_if<std::uint64_t>(&a.value)) return static_cast<double>(*u);
  if (auto* b = std::get_if<bool>(&a.value)) return *b ? 1 : 0;
  return 0;
}

// The answer as a VARIANT of its VARTYPE. A VARIANT has one type only, so the D-Bus type
// override of a script has no meaning here and a value of another kind is converted.
void ToVariant(const sondesim::Answer& a, VARIANT* out) {
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
      const bool known = n == 0 && names[0] != nullptr && lstrcmpiW(names[0], L"GETSONDEDATA") == 0;
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
    std::optional<sondesim::Answer> answer;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      answer = source_(V_I2(&index));
    }
    if (!answer) return DISP_E_BADINDEX;
    if (answer->kind == sondesim::Answer::Kind::kNoReply) {
      Sleep(60000);
      return E_FAIL;
    }
    if (answer->kind == sondesim::Answer::Kind::kError) {
      if (exception != nullptr) {
        *exception = EXCEPINFO{};
        exception->scode = DISP_E_EXCEPTION;
        exception->bstrSource = SysAllocString(kProgId);
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
         SetKeyValue(classes + L"CLSID\\" + kClsidText + L"\\ProgID", kProgId);
}

int Usage() {
  std::fputs(
      "usage: sonde-sim.exe [--register] [--print-ready] [--seconds N] simulate [--speedup F]\n"
      "       sonde-sim.exe [--register] [--print-ready] [--seconds N] script FILE\n"
      "       sonde-sim.exe --register\n",
      stderr);
  return 2;
}

std::optional<AnswerSource> ScriptSource(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "sonde-sim: cannot read %s\n", path);
    return std::nullopt;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  sondesim::Script script;
  std::string error;
  if (!sondesim::ParseScript(text, script, error)) {
    std::fprintf(stderr, "sonde-sim: %s: %s\n", path, error.c_str());
    return std::nullopt;
  }
  return AnswerSource([script](std::int16_t index) -> std::optional<sondesim::Answer> {
    const auto found = script.items.find(index);
    return found != script.items.end() ? found->second : sondesim::Answer{};
  });
}

AnswerSource SimulatedSource(double speedup) {
  using Steady = std::chrono::steady_clock;
  auto flight = std::make_shared<sondesim::Flight>(sondesim::FlightParams{});
  sondesim::SondeIdentity id;
  id.launchUnixSeconds = static_cast<std::int64_t>(std::time(nullptr));
  const auto start = Steady::now();
  return [flight, id, start, speedup](std::int16_t index) -> std::optional<sondesim::Answer> {
    if (index < 0 || index >= sondesim::kItemCount) return std::nullopt;
    const double seconds = std::chrono::duration<double>(Steady::now() - start).count() * speedup;
    return sondesim::ItemsOf(sondesim::TelemetryAt(*flight, id, seconds))[index];
  };
}

}  // namespace

int main(int argc, char** argv) {
  bool registerProgId = false;
  bool printReady = false;
  double seconds = 0;
  double speedup = 1;
  std::string mode;
  std::string scriptPath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--register") {
      registerProgId = true;
    } else if (arg == "--print-ready") {
      printReady = true;
    } else if (arg == "--seconds" && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (arg == "--speedup" && i + 1 < argc) {
      speedup = std::atof(argv[++i]);
    } else if (arg == "simulate" && mode.empty()) {
      mode = arg;
    } else if (arg == "script" && mode.empty() && i + 1 < argc) {
      mode = arg;
      scriptPath = argv[++i];
    } else {
      return Usage();
    }
  }
  if (registerProgId && !RegisterProgId()) {
    std::fputs("sonde-sim: cannot write the ProgID under HKLM\\Software\\Classes\n", stderr);
    return 1;
  }
  if (mode.empty()) return registerProgId ? 0 : Usage();

  std::optional<AnswerSource> source =
      mode == "script" ? ScriptSource(scriptPath.c_str()) : SimulatedSource(speedup);
  if (!source) return 1;

  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
  auto* document = new SondeDocument(std::move(*source));
  DWORD cookie = 0;
  const HRESULT registered =
      RegisterActiveObject(document, kDocumentClsid, ACTIVEOBJECT_STRONG, &cookie);
  if (FAILED(registered)) {
    std::fprintf(stderr, "sonde-sim: RegisterActiveObject failed: 0x%08lx\n",
                 static_cast<unsigned long>(registered));
    document->Release();
    CoUninitialize();
    return 1;
  }
  if (printReady) {
    std::puts("ready");
    std::fflush(stdout);
  }
  // Calls are served on COM's own threads; this one only keeps the process alive.
  Sleep(seconds > 0 ? static_cast<DWORD>(seconds * 1000) : INFINITE);
  RevokeActiveObject(cookie, nullptr);
  document->Release();
  CoUninitialize();
  return 0;
}
