#include "platform/win32/automation_com.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/system.h"

namespace nimbrix {
namespace {

TEST(VariantFromComTest, EveryTypeKeepsItsCodeAndValue) {
  VARIANT v;
  auto make = [&](VARTYPE type) {
    VariantInit(&v);
    V_VT(&v) = type;
    return &v;
  };
  V_I1(make(VT_I1)) = -5;
  EXPECT_EQ(VariantFromCom(v).value, (Variant::Signed(-5, VT_I1).value));
  V_I2(make(VT_I2)) = -32768;
  EXPECT_EQ(VariantFromCom(v).vt, VT_I2);
  EXPECT_EQ(VariantFromCom(v).value, (Variant::Signed(-32768).value));
  V_I4(make(VT_I4)) = 40000;
  EXPECT_EQ(VariantFromCom(v).value, (Variant::Signed(40000).value));
  V_I8(make(VT_I8)) = INT64_MIN;
  EXPECT_EQ(VariantFromCom(v).value, (Variant::Signed(INT64_MIN).value));
  V_INT(make(VT_INT)) = -7;
  EXPECT_EQ(VariantFromCom(v).vt, VT_INT);
  V_UI1(make(VT_UI1)) = 255;
  EXPECT_EQ(VariantFromCom(v).value, (Variant::Unsigned(255).value));
  V_UI2(make(VT_UI2)) = 65535;
  EXPECT_EQ(VariantFromCom(v).value, (Variant::Unsigned(65535).value));
  V_UI4(make(VT_UI4)) = 4294967295u;
  EXPECT_EQ(VariantFromCom(v).value, (Variant::Unsigned(4294967295u).value));
  V_UI8(make(VT_UI8)) = UINT64_MAX;
  EXPECT_EQ(VariantFromCom(v).value, (Variant::Unsigned(UINT64_MAX).value));
  V_UINT(make(VT_UINT)) = 9;
  EXPECT_EQ(VariantFromCom(v).vt, VT_UINT);
  // A float's value, not its shortest decimal: 0.1f is 0.100000001490116...
  V_R4(make(VT_R4)) = 0.1f;
  EXPECT_EQ(VariantFromCom(v).vt, VT_R4);
  EXPECT_EQ(std::get<double>(VariantFromCom(v).value), static_cast<double>(0.1f));
  V_R8(make(VT_R8)) = -71.987654;
  EXPECT_EQ(std::get<double>(VariantFromCom(v).value), -71.987654);
  V_DATE(make(VT_DATE)) = 46364.5;
  EXPECT_EQ(VariantFromCom(v).vt, VT_DATE);
  EXPECT_EQ(std::get<double>(VariantFromCom(v).value), 46364.5);
  // CY stays the raw integer (value times 10000); the program divides.
  V_CY(make(VT_CY)).int64 = 123456;
  EXPECT_EQ(VariantFromCom(v).vt, VT_CY);
  EXPECT_EQ(std::get<std::int64_t>(VariantFromCom(v).value), 123456);
  V_BOOL(make(VT_BOOL)) = VARIANT_TRUE;
  EXPECT_EQ(VariantFromCom(v).value, (Variant::Boolean(true).value));
  EXPECT_EQ(VariantFromCom(*make(VT_NULL)).vt, VT_NULL);
  EXPECT_EQ(VariantFromCom(*make(VT_EMPTY)).vt, VT_EMPTY);
}

TEST(VariantFromComTest, TypesTheDecoderMayNotSendReadAsEmpty) {
  for (VARTYPE type :
       {VARTYPE(VT_ERROR), VARTYPE(VT_DISPATCH), VARTYPE(VT_UNKNOWN), VARTYPE(VT_DECIMAL),
        VARTYPE(::VT_I4 | ::VT_BYREF), VARTYPE(::VT_ARRAY | ::VT_I2)}) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = type;
    V_BYREF(&v) = nullptr;
    const Variant out = VariantFromCom(v);
    EXPECT_EQ(out.vt, VT_EMPTY) << type;
    EXPECT_TRUE(std::holds_alternative<std::monostate>(out.value)) << type;
  }
}

TEST(VariantFromComTest, BstrBecomesAnsiCodePageBytes) {
  // Plain, empty, an embedded NUL, and a character beyond the code page.
  const std::vector<std::wstring> texts = {L"S3210987", L"", std::wstring(L"a\0b", 3),
                                           L"2026-12-08 20:41:05", L"\u4e2d"};
  for (const std::wstring& text : texts) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    const Variant out = VariantFromCom(v);
    VariantClear(&v);
    ASSERT_EQ(out.vt, VT_BSTR);
    const std::string& bytes = std::get<std::string>(out.value);
    std::string expected(
        static_cast<std::size_t>(WideCharToMultiByte(
            CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr)),
        '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), expected.data(),
                        static_cast<int>(expected.size()), nullptr, nullptr);
    EXPECT_EQ(bytes, expected);
  }
  VARIANT null;
  VariantInit(&null);
  V_VT(&null) = VT_BSTR;
  V_BSTR(&null) = nullptr;  // a null BSTR is the empty text
  EXPECT_EQ(VariantFromCom(null).value, (Variant::Text("").value));
}

TEST(IsDisconnectionTest, GoneDecodersAreToldFromRefusedRequests) {
  for (unsigned long gone : {0x800706BAul, 0x800706BEul, 0x80010108ul, 0x80010007ul}) {
    EXPECT_TRUE(IsDisconnection(static_cast<HRESULT>(gone))) << std::hex << gone;
  }
  for (HRESULT refused : {DISP_E_UNKNOWNNAME, DISP_E_MEMBERNOTFOUND, DISP_E_EXCEPTION,
                          DISP_E_BADINDEX, DISP_E_TYPEMISMATCH, E_FAIL, E_NOTIMPL}) {
    EXPECT_FALSE(IsDisconnection(refused)) << std::hex << refused;
  }
}

// A decoder in this process: answers item i with i * 1.5, item 99 with an exception, and fails
// every call with "server unavailable" once `gone` is set.
class TestDecoder final : public IDispatch {
 public:
  virtual ~TestDecoder() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override {
    lookups.push_back(names[0]);
    lastLocale = locale;
    if (gone) return static_cast<HRESULT>(0x800706BAul);
    if (count != 1 || std::wstring(names[0]) != L"GETSONDEDATA") return DISP_E_UNKNOWNNAME;
    ids[0] = 7;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT*) override {
    lastFlags = flags;
    if (id != 7 || params->cArgs != 1 || params->cNamedArgs != 0) return DISP_E_BADPARAMCOUNT;
    if (V_VT(&params->rgvarg[0]) != VT_I2) return DISP_E_TYPEMISMATCH;
    if (V_VT(result) != VT_EMPTY) return E_INVALIDARG;
    const short item = V_I2(&params->rgvarg[0]);
    if (item == 99) {
      exception->bstrDescription = SysAllocString(L"no such item");
      exception->bstrSource = SysAllocString(L"TestDecoder");
      return DISP_E_EXCEPTION;
    }
    V_VT(result) = VT_R8;
    V_R8(result) = item * 1.5;
    return S_OK;
  }

  ULONG references = 1;
  bool gone = false;
  std::vector<std::wstring> lookups;
  LCID lastLocale = 0;
  WORD lastFlags = 0;
};

// {0B7E4C2A-5D13-4F86-9A20-6C1E8B3D7F95}
constexpr CLSID kTestClsid = {
    0x0b7e4c2a, 0x5d13, 0x4f86, {0x9a, 0x20, 0x6c, 0x1e, 0x8b, 0x3d, 0x7f, 0x95}};

bool RegisterTestProgId() {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\NimbrixTest.Decoder\\CLSID", 0,
                      nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const char clsid[] = "{0B7E4C2A-5D13-4F86-9A20-6C1E8B3D7F95}";
  const bool ok = RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid),
                                 sizeof clsid) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

TEST(ComAutomationTest, NoRunningObjectMeansNotAttached) {
  auto automation = MakeSystemAutomation();
  EXPECT_FALSE(automation->Attach("NimbrixTest.NotRegistered"));
  EXPECT_FALSE(automation->Attach(""));
  EXPECT_FALSE(automation->IsAttached());
  EXPECT_EQ(automation->Call("GETSONDEDATA", 1).outcome, CallOutcome::kUnresponsive);
  automation->Release();
}

TEST(ComAutomationTest, CallsByNameAndDetachesWhenTheDecoderIsGone) {
  ASSERT_TRUE(RegisterTestProgId());
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  TestDecoder decoder;
  DWORD cookie = 0;
  ASSERT_TRUE(SUCCEEDED(RegisterActiveObject(&decoder, kTestClsid, ACTIVEOBJECT_STRONG, &cookie)));
  {
    auto automation = MakeSystemAutomation();
    ASSERT_TRUE(automation->Attach("NimbrixTest.Decoder"));
    ASSERT_TRUE(automation->IsAttached());

    const CallResult answer = automation->Call("GETSONDEDATA", 3);
    EXPECT_EQ(answer.outcome, CallOutcome::kOk);
    EXPECT_EQ(answer.value.vt, VT_R8);
    EXPECT_EQ(std::get<double>(answer.value.value), 4.5);
    EXPECT_EQ(decoder.lastLocale, static_cast<LCID>(LOCALE_SYSTEM_DEFAULT));
    EXPECT_EQ(decoder.lastFlags, DISPATCH_PROPERTYGET);

    // Refused requests: the next item is tried, the decoder stays attached.
    EXPECT_EQ(automation->Call("GETSONDEDATA", 99).outcome, CallOutcome::kFailed);
    EXPECT_EQ(automation->Call("NOSUCHMEMBER", 1).outcome, CallOutcome::kFailed);
    EXPECT_TRUE(automation->IsAttached());
    // Every request looks the name up again.
    EXPECT_EQ(decoder.lookups.size(), 3u);

    decoder.gone = true;
    const CallResult lost = automation->Call("GETSONDEDATA", 1);
    EXPECT_EQ(lost.outcome, CallOutcome::kUnresponsive);
    EXPECT_EQ(lost.value.vt, VT_EMPTY);
    EXPECT_FALSE(automation->IsAttached());

    decoder.gone = false;
    ASSERT_TRUE(automation->Attach("NimbrixTest.Decoder"));
    EXPECT_EQ(automation->Call("GETSONDEDATA", 2).outcome, CallOutcome::kOk);
    automation->Release();
    EXPECT_FALSE(automation->IsAttached());
  }
  RevokeActiveObject(cookie, nullptr);
  CoUninitialize();
  EXPECT_EQ(decoder.references, 1u);  // every reference given back
}

}  // namespace
}  // namespace nimbrix
